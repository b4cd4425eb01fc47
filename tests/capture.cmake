# Capturing the demo to a video: the sound layer's capture output on its own, and the whole
# capture (preloaded into the unchanged executable) from the outside.
if(TARGET fsound)
  # nv_sound_ogg (the test Ogg writer and reference decoder) comes from sound.cmake.
  nv_test(test_sound_capture
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_sound_capture.cpp ${PROJECT_SOURCE_DIR}/src/music.cpp
          LIBS fsound nv_sound_ogg
          LABELS unit)
  target_include_directories(test_sound_capture PRIVATE ${PROJECT_SOURCE_DIR}/src)
endif()

if(TARGET velandor_capture AND TARGET fsound)
  add_executable(nv_capture_analyse ${CMAKE_CURRENT_SOURCE_DIR}/capture_analyse.cpp)
  nv_strict(nv_capture_analyse)
  nv_script_test(capture ${CMAKE_CURRENT_SOURCE_DIR}/e2e/capture.sh LABELS e2e TIMEOUT 240)
endif()
