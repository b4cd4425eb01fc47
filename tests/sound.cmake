# The sound layer and the music part, against SDL's disk driver (no sound card needed).
add_library(nv_sound_ogg STATIC ${CMAKE_CURRENT_SOURCE_DIR}/sound_ogg.cpp)
target_link_libraries(nv_sound_ogg PUBLIC PkgConfig::VORBISENC toolchain::m)
nv_strict(nv_sound_ogg)

nv_test(test_sound SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_sound.cpp LIBS demo nv_sound_ogg LABELS unit)

add_executable(nv_mkogg ${CMAKE_CURRENT_SOURCE_DIR}/sound_mkogg.cpp)
target_link_libraries(nv_mkogg PRIVATE nv_sound_ogg)
nv_strict(nv_mkogg)

nv_script_test(sound_demo ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sound_demo.sh LABELS e2e TIMEOUT 120)
