# The sound engine's files, compiled into both editions: the calls of fsound.h, the mixer,
# the capture output and the spectrum. Each edition adds its own decoder and device output.
set(FSOUND_ENGINE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(FSOUND_ENGINE_SOURCES
  ${FSOUND_ENGINE_DIR}/fsound.cpp
  ${FSOUND_ENGINE_DIR}/mixer.cpp
  ${FSOUND_ENGINE_DIR}/capture.cpp
  ${FSOUND_ENGINE_DIR}/spectrum.cpp)
