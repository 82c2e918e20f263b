# The chunk walker of RIFF WAVE, RF64, AIFF, DSF and DSDIFF, and their stream properties.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/container_audio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/container_audio.h
  ${CMAKE_CURRENT_LIST_DIR}/riff_chunks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/riff_chunks.h)
