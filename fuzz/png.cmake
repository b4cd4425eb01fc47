nv_fuzz(fuzz_png ${CMAKE_CURRENT_LIST_DIR}/fuzz_png.cpp)
