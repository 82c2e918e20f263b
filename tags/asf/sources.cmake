# ASF headers and WMA attributes.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/asf_header.cpp
  ${CMAKE_CURRENT_LIST_DIR}/asf_header.h
  ${CMAKE_CURRENT_LIST_DIR}/wma_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wma_module.h
  ${CMAKE_CURRENT_LIST_DIR}/wma_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wma_tag.h)
