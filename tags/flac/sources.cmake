# FLAC metadata blocks.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/flac_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flac_tag.h)
