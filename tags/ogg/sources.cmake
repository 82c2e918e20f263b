# Ogg pages, Opus and Ogg FLAC streams.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ogg_flac.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ogg_flac.h
  ${CMAKE_CURRENT_LIST_DIR}/ogg_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ogg_module.h
  ${CMAKE_CURRENT_LIST_DIR}/ogg_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ogg_pages.h
  ${CMAKE_CURRENT_LIST_DIR}/opus_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/opus_tag.h)
