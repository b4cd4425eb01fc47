# The driver's frame: real GL on an X server, and against a do-nothing GL for the
# CPU time of our own code.
foreach(variant bench_frame bench_frame_cpu)
  set(sources ${CMAKE_CURRENT_LIST_DIR}/bench_frame.cpp)
  if(variant STREQUAL bench_frame_cpu)
    list(APPEND sources ${CMAKE_CURRENT_LIST_DIR}/glstub.cpp)
  endif()
  nv_bench(${variant} SOURCES ${sources} LIBS demo)
endforeach()
target_compile_definitions(bench_frame PRIVATE NV_FRAME_GL)
