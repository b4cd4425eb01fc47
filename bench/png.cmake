# PNG decoding: the library's decoder against libpng, libspng, stb_image and zlib alone.
pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
nv_bench(bench_png SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_png.cpp
         LIBS nork PNG::PNG PkgConfig::SPNG PkgConfig::STB ZLIB::ZLIB)
target_include_directories(bench_png PRIVATE ${PROJECT_SOURCE_DIR}/tests/helpers)
