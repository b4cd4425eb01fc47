# nv_psnr: the tests' picture comparison (tests/picture.h) for the scripts.
add_executable(nv_psnr ${CMAKE_CURRENT_LIST_DIR}/psnr.cpp)
target_link_libraries(nv_psnr PRIVATE PNG::PNG toolchain::m)
nv_strict(nv_psnr)
