# Capturing the demo to a video: the sound layer's capture output on its own, and the whole
# capture (preloaded into the unchanged executable) from the outside.
# nv_sound_ogg (the test Ogg writer and reference decoder) comes from sound.cmake.
nv_test(test_sound_capture SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_sound_capture.cpp
        LIBS demo nv_sound_ogg LABELS unit)

add_executable(nv_capture_analyse ${CMAKE_CURRENT_SOURCE_DIR}/capture_analyse.cpp)
nv_strict(nv_capture_analyse)
nv_script_test(capture ${CMAKE_CURRENT_SOURCE_DIR}/e2e/capture.sh LABELS e2e TIMEOUT 240)

# The capture library's clock, seen from a program's frames.
add_executable(nv_capture_clock ${CMAKE_CURRENT_SOURCE_DIR}/capture/clock.c)
target_link_libraries(nv_capture_clock PRIVATE OpenGL::GL X11::X11)
nv_strict(nv_capture_clock)
nv_script_test(capture_clock ${CMAKE_CURRENT_SOURCE_DIR}/capture/clock.sh LABELS e2e TIMEOUT 60)
