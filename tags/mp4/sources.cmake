# MP4 atoms and their tags.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/mp4_atoms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mp4_atoms.h
  ${CMAKE_CURRENT_LIST_DIR}/mp4_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mp4_module.h
  ${CMAKE_CURRENT_LIST_DIR}/mp4_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mp4_tag.h
  ${CMAKE_CURRENT_LIST_DIR}/mp4_write.cpp)
