# The configuration paths (no X) and the logo scene (renders on an X server).
nv_test(test_system SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_system.cpp LIBS platform LABELS unit)

pkg_check_modules(NV_LIBPNG REQUIRED IMPORTED_TARGET libpng)
nv_test(test_scene0 SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene0.cpp LIBS demo PkgConfig::NV_LIBPNG LABELS gl)
