# The sound engine's FFT against kissfft here, and the browser edition's layer, built with
# Emscripten and run under Node, against the desktop layer's capture output.
nv_test(test_sound_fft SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_sound_fft.cpp
        LIBS fsound PkgConfig::KISSFFT LABELS unit)

# The same capture run natively, and the comparison of the two.
add_executable(nv_sound_web_run ${CMAKE_CURRENT_SOURCE_DIR}/sound_web/run.cpp)
target_link_libraries(nv_sound_web_run PRIVATE demo)
nv_strict(nv_sound_web_run)
add_executable(nv_sound_web_compare ${CMAKE_CURRENT_SOURCE_DIR}/sound_web/compare.cpp)
target_link_libraries(nv_sound_web_compare PRIVATE PkgConfig::VORBISFILE toolchain::m)
nv_strict(nv_sound_web_compare)

nv_script_test(sound_web ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sound_web.sh LABELS unit web TIMEOUT 600)
set_tests_properties(sound_web PROPERTIES SKIP_RETURN_CODE 77)
