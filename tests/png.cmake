# PNG decoder and images: differential tests against libpng.
nv_test(test_png SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_png.cpp LIBS nork PNG::PNG ZLIB::ZLIB LABELS unit)
nv_test(test_image SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_image.cpp LIBS nork PNG::PNG ZLIB::ZLIB LABELS unit)
nv_script_test(png_tool ${CMAKE_CURRENT_LIST_DIR}/png_tool.sh LABELS unit TIMEOUT 120)
nv_script_test(e2e_logo ${CMAKE_CURRENT_LIST_DIR}/e2e/logo.sh LABELS e2e TIMEOUT 120)
