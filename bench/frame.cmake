# The driver's frame: real GL on an X server, and against a do-nothing GL for the
# CPU time of our own code.
foreach(variant bench_frame bench_frame_cpu)
  set(sources ${CMAKE_CURRENT_LIST_DIR}/bench_frame.cpp)
  if(variant STREQUAL bench_frame_cpu)
    list(APPEND sources ${PROJECT_SOURCE_DIR}/tests/helpers/gl_recorder.cpp)
  endif()
  nv_bench(${variant} SOURCES ${sources} LIBS demo)
endforeach()
target_compile_definitions(bench_frame PRIVATE NV_FRAME_GL)

# The browser edition's GL layer against Mesa's fixed-function GL, drawing the
# steady-state frame through the two programs of the layer's test: they are built with the
# tests, so a build without the tests has no bench_fixedgl.
if(NV_TESTS)
  nv_bench(bench_fixedgl SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_fixedgl.cpp)
  target_compile_definitions(bench_fixedgl PRIVATE NV_FIXEDGL_REF="$<TARGET_FILE:fixedgl_ref>"
                                                   NV_FIXEDGL_ES="$<TARGET_FILE:fixedgl_es>")
  add_dependencies(bench_fixedgl fixedgl_ref fixedgl_es)
endif()
