# MPEG audio frames: the stream properties of MP3 and its kin.
list(APPEND TAGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/mpeg_audio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mpeg_audio.h)
