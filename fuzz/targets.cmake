# The fuzz targets: one for each fuzz/fuzz_*.cpp, named after it. fuzz/CMakeLists.txt builds
# them (with clang) and the tests run every one (tests/fuzz/).
file(GLOB NV_FUZZ_TARGETS CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_LIST_DIR}
     ${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp)
list(TRANSFORM NV_FUZZ_TARGETS REPLACE "\\.cpp$" "")
