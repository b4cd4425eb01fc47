# The sound layer: audio thread's CPU share, the spectrum call, the spectrum's lag.
pkg_check_modules(BENCH_VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbisfile vorbis ogg)
nv_bench(bench_sound
         SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_sound.cpp ${PROJECT_SOURCE_DIR}/tests/sound_ogg.cpp
         LIBS fsound PkgConfig::BENCH_VORBISENC)
target_include_directories(bench_sound PRIVATE ${PROJECT_SOURCE_DIR}/tests)
