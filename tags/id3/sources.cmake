# ID3v1 (with Lyrics3) and ID3v2 tags.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/id3v1_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id3v1_module.h
  ${CMAKE_CURRENT_LIST_DIR}/id3v1_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id3v1_tag.h
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_frames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_internal.h
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_module.h
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_tag.h
  ${CMAKE_CURRENT_LIST_DIR}/id3v2_write.cpp)
