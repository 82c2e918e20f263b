# FLAC metadata blocks.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/flac_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flac_module.h
  ${CMAKE_CURRENT_LIST_DIR}/flac_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flac_tag.h)
