# The demo's pictures, font, tower model and scroll text, checked with the
# library's own loaders; and the generators, which must rewrite them unchanged.
nv_test(test_assets_visual SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_assets_visual.cpp
        LIBS nork PNG::PNG ZLIB::ZLIB Freetype::Freetype LABELS unit)
target_compile_definitions(test_assets_visual PRIVATE
  GEN_IMAGES="$<TARGET_FILE:gen_images>" GEN_FONT="$<TARGET_FILE:gen_font>"
  GEN_MODEL="$<TARGET_FILE:gen_model>" GEN_TEXT="$<TARGET_FILE:gen_text>")
add_dependencies(test_assets_visual gen_images gen_font gen_model gen_text)
