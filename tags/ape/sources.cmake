# APEv2 tags.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/apev2_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apev2_module.h
  ${CMAKE_CURRENT_LIST_DIR}/apev2_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apev2_tag.h)
