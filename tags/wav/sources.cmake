# WAVE INFO, bext and cart chunks.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/wav_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_module.h
  ${CMAKE_CURRENT_LIST_DIR}/wav_tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_tag.h)
