# The tools (tools/). The nork tool from the outside, one script per command group (label
# tool); the capture: the preloaded library's clock as a program sees it, and a whole capture
# of the unchanged demo; the asset generators, which must rewrite data/ byte for byte, and the
# pictures, model, text and music they made.
nv_script_test(nork_tool nork/nork_tool.sh LABELS e2e tool TIMEOUT 120)
nv_script_test(png_tool nork/png_tool.sh LABELS e2e tool TIMEOUT 120)
nv_script_test(nork_oia_tool nork/nork_oia_tool.sh LABELS e2e tool TIMEOUT 60)

add_executable(nv_capture_clock ${CMAKE_CURRENT_LIST_DIR}/capture/clock.c)
target_link_libraries(nv_capture_clock PRIVATE OpenGL::GL X11::X11)
nv_strict(nv_capture_clock)
nv_script_test(capture_clock capture/clock.sh LABELS e2e TIMEOUT 60)

add_executable(nv_capture_analyse ${CMAKE_CURRENT_LIST_DIR}/capture/analyse.cpp)
target_include_directories(nv_capture_analyse PRIVATE ${NV_HELPERS})
nv_strict(nv_capture_analyse)
nv_script_test(capture capture/capture.sh LABELS e2e TIMEOUT 240)

nv_test(assets/test_assets LIBS nork PNG::PNG ZLIB::ZLIB Freetype::Freetype LABELS unit)
target_compile_definitions(test_assets PRIVATE
  GEN_IMAGES="$<TARGET_FILE:gen_images>" GEN_FONT="$<TARGET_FILE:gen_font>"
  GEN_MODEL="$<TARGET_FILE:gen_model>" GEN_TEXT="$<TARGET_FILE:gen_text>")
add_dependencies(test_assets gen_images gen_font gen_model gen_text)
nv_test(assets/test_music LIBS music LABELS unit)
