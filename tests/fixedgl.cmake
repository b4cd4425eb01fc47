# The browser edition's fixed-function GL layer against the real fixed-function
# GL: one drawing program built twice, on Mesa's GL (fixedgl_ref) and on the
# layer over OpenGL ES 2 (fixedgl_es), both off screen through EGL; the test
# compares their pictures.
include(${PROJECT_SOURCE_DIR}/web/gl/gl.cmake)

# The demo's drawing code as the browser edition builds it: against the layer.
include(${PROJECT_SOURCE_DIR}/src/sources.cmake)
add_library(fixedgl_demo STATIC ${NV_DRAW_SOURCES} ${PROJECT_SOURCE_DIR}/platform/util.cpp)
target_include_directories(fixedgl_demo PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/platform)
target_link_libraries(fixedgl_demo PUBLIC fixedgl nork toolchain::m)
nv_strict(fixedgl_demo)

add_executable(fixedgl_es ${CMAKE_CURRENT_LIST_DIR}/fixedgl_draw.cpp)
target_compile_definitions(fixedgl_es PRIVATE FIXEDGL_ES)
target_link_libraries(fixedgl_es PRIVATE fixedgl_demo velandor_data)
nv_strict(fixedgl_es)

add_executable(fixedgl_ref ${CMAKE_CURRENT_LIST_DIR}/fixedgl_draw.cpp)
target_link_libraries(fixedgl_ref PRIVATE demo velandor_data ${FIXEDGL_EGL_LIB})
nv_strict(fixedgl_ref)

nv_test(test_fixedgl SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_fixedgl.cpp LABELS gl)
target_compile_definitions(test_fixedgl PRIVATE NV_FIXEDGL_REF="$<TARGET_FILE:fixedgl_ref>"
                                                NV_FIXEDGL_ES="$<TARGET_FILE:fixedgl_es>")
add_dependencies(test_fixedgl fixedgl_ref fixedgl_es)
