# The browser's decoder of music that arrives over the network (stb_vorbis's push interface),
# with the sound engine and its capture output. stb_vorbis turns header values to integers
# through float without a range check (lookup1_values), which UBSan reports for hostile
# headers; what comes out is then refused by its own checks, and WebAssembly's conversion
# does not trap, so that one check is left out here.
include(${PROJECT_SOURCE_DIR}/sound/engine.cmake)
nv_fuzz(fuzz_music_stream fuzz_music_stream.cpp ${FSOUND_ENGINE_SOURCES}
        ${PROJECT_SOURCE_DIR}/web/sound/source_stb.cpp)
target_include_directories(fuzz_music_stream PRIVATE ${PROJECT_SOURCE_DIR}/sound)
target_include_directories(fuzz_music_stream SYSTEM PRIVATE /usr/include/stb)
target_compile_options(fuzz_music_stream PRIVATE -fno-sanitize=float-cast-overflow)
