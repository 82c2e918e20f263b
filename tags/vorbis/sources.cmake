# Vorbis comments and their mapping.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/vorbis_comment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vorbis_comment.h
  ${CMAKE_CURRENT_LIST_DIR}/vorbis_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vorbis_mapping.h)
