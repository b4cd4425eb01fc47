# The fixed-function GL layer of the browser edition: GL/gl.h and GL/glu.h of
# our own over WebGL 1 (Emscripten) or OpenGL ES 2 through EGL (native, where
# the tests hold it against the real fixed-function GL). Included by the web
# build and by the native tests; the first include defines the target.
include_guard(GLOBAL)

add_library(fixedgl STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fixedgl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/es.cpp)
target_include_directories(fixedgl PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
nv_strict(fixedgl)

if(EMSCRIPTEN)
  target_link_options(fixedgl INTERFACE -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1)
else()
  # Only libEGL: every GLES call is looked up through eglGetProcAddress (see
  # es.cpp), so no driver symbol can stand in for one of the layer's.
  find_path(FIXEDGL_GLES2_INCLUDE GLES2/gl2.h REQUIRED)
  find_library(FIXEDGL_EGL_LIB EGL REQUIRED)
  target_include_directories(fixedgl PRIVATE ${FIXEDGL_GLES2_INCLUDE})
  target_link_libraries(fixedgl PUBLIC ${FIXEDGL_EGL_LIB})
endif()
