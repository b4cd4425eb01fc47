# The sound layer: audio thread's CPU share, the spectrum call, the spectrum's lag.
nv_bench(bench_sound
         SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_sound.cpp ${PROJECT_SOURCE_DIR}/tests/helpers/sound_ogg.cpp
         LIBS fsound PkgConfig::VORBISENC)
target_include_directories(bench_sound PRIVATE ${PROJECT_SOURCE_DIR}/tests/helpers)
