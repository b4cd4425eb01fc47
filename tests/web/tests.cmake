# The browser edition. Natively: its GL layer against the real fixed-function GL (gl/), its
# stand-ins for what its C library lacks against glibc's rand and zlib (platform/), its sound
# layer under Node against the desktop's (sound/). In headless Chromium: the site, built once
# (web_build), then its picture against the desktop demo's, the page's behaviour for every
# visitor, its sound and its delivery (*.sh, *.js here).

# The GL layer: one drawing program built twice, on Mesa's GL (fixedgl_ref) and on the layer
# over OpenGL ES 2 (fixedgl_es), both off screen through EGL; the test compares their
# pictures. The layer's side draws the demo's drawing code as the browser edition builds it.
include(${PROJECT_SOURCE_DIR}/web/gl/gl.cmake)
include(${PROJECT_SOURCE_DIR}/src/sources.cmake)
add_library(fixedgl_demo STATIC ${NV_DRAW_SOURCES} ${PROJECT_SOURCE_DIR}/platform/util.cpp)
target_include_directories(fixedgl_demo PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/platform)
target_link_libraries(fixedgl_demo PUBLIC fixedgl nork toolchain::m)
nv_strict(fixedgl_demo)

add_executable(fixedgl_es ${CMAKE_CURRENT_LIST_DIR}/gl/fixedgl_draw.cpp)
target_compile_definitions(fixedgl_es PRIVATE FIXEDGL_ES)
target_link_libraries(fixedgl_es PRIVATE fixedgl_demo velandor_data)
nv_strict(fixedgl_es)

add_executable(fixedgl_ref ${CMAKE_CURRENT_LIST_DIR}/gl/fixedgl_draw.cpp)
target_link_libraries(fixedgl_ref PRIVATE demo velandor_data ${FIXEDGL_EGL_LIB})
nv_strict(fixedgl_ref)

nv_test(gl/test_fixedgl LABELS gl)
target_compile_definitions(test_fixedgl PRIVATE NV_FIXEDGL_REF="$<TARGET_FILE:fixedgl_ref>"
                                                NV_FIXEDGL_ES="$<TARGET_FILE:fixedgl_es>")
add_dependencies(test_fixedgl fixedgl_ref fixedgl_es)

# rand and uncompress; the latter renamed, so that the test can hold it beside zlib's own.
set(NV_WEB_PLATFORM_DIR ${PROJECT_SOURCE_DIR}/web/platform)
add_library(nv_web_inflate STATIC ${NV_WEB_PLATFORM_DIR}/zlib/inflate.cpp ${NV_WEB_PLATFORM_DIR}/zlib/stb_inflate.c)
target_compile_definitions(nv_web_inflate PRIVATE uncompress=web_uncompress)
target_include_directories(nv_web_inflate PRIVATE ${NV_WEB_PLATFORM_DIR}/zlib)
target_include_directories(nv_web_inflate SYSTEM PRIVATE ${NV_STB_DIR})
nv_strict(nv_web_inflate)
nv_test(platform/test_web_parts SOURCES ${NV_WEB_PLATFORM_DIR}/glibc_rand.cpp
        LIBS nv_web_inflate ZLIB::ZLIB LABELS unit)
target_include_directories(test_web_parts PRIVATE ${NV_WEB_PLATFORM_DIR})

# The sound layer built with Emscripten (sound/CMakeLists.txt) and run under Node, its
# capture output against the same run of the desktop layer, compared by the two programs here.
add_executable(nv_sound_web_run ${CMAKE_CURRENT_LIST_DIR}/sound/run.cpp)
target_link_libraries(nv_sound_web_run PRIVATE demo)
nv_strict(nv_sound_web_run)
add_executable(nv_sound_web_compare ${CMAKE_CURRENT_LIST_DIR}/sound/compare.cpp)
target_link_libraries(nv_sound_web_compare PRIVATE PkgConfig::VORBISFILE toolchain::m)
nv_strict(nv_sound_web_compare)
nv_script_test(sound_web sound/sound_web.sh LABELS unit web TIMEOUT 600)
set_tests_properties(sound_web PROPERTIES SKIP_RETURN_CODE 77)

# The site in headless Chromium.
nv_script_test(web_build build.sh LABELS web TIMEOUT 1200)
set_tests_properties(web_build PROPERTIES FIXTURES_SETUP web_site)
foreach(name picture page sound delivery)
  nv_script_test(web_${name} ${name}.sh LABELS web TIMEOUT 600)
  set_tests_properties(web_${name} PROPERTIES FIXTURES_REQUIRED web_site)
endforeach()
