# The picture, font, model and scroll-text generators, and the optional target
# "assets" that reruns them into data/. The generators are built with everything
# else (the tests run them into a scratch folder); only "assets" rewrites data/.

add_library(assetgen STATIC ${CMAKE_CURRENT_LIST_DIR}/assetgen.cpp)
target_include_directories(assetgen PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(assetgen PUBLIC PNG::PNG)
nv_strict(assetgen)

set(NV_FONT_FILE /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
    CACHE FILEPATH "TrueType font that gen_font bakes into MossGlade.png")

foreach(gen gen_images gen_font gen_model gen_text)
  add_executable(${gen} ${CMAKE_CURRENT_LIST_DIR}/${gen}.cpp)
  target_link_libraries(${gen} PRIVATE assetgen)
  nv_strict(${gen})
endforeach()
target_link_libraries(gen_font PRIVATE Freetype::Freetype)
target_compile_definitions(gen_font PRIVATE NV_FONT_FILE="${NV_FONT_FILE}")
target_compile_definitions(gen_text PRIVATE NV_SCROLL_SOURCE="${CMAKE_CURRENT_LIST_DIR}/scroll1.src.txt")

set(NV_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
add_custom_target(assets
  COMMAND gen_images ${NV_DATA_DIR}
  COMMAND gen_font ${NV_DATA_DIR}
  COMMAND gen_model ${NV_DATA_DIR}
  COMMAND gen_text ${NV_DATA_DIR}
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/contact-sheet.sh ${NV_DATA_DIR} ${PROJECT_SOURCE_DIR}/docs/assets.png
  COMMENT "Regenerating pictures, font, tower model and scroll text in data/"
  VERBATIM)
