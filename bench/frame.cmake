# The driver's frame: real GL on an X server, and against a do-nothing GL for the
# CPU time of our own code. main.cpp is compiled in with its main() renamed.
foreach(variant bench_frame bench_frame_cpu)
  set(sources ${CMAKE_CURRENT_LIST_DIR}/bench_frame.cpp ${PROJECT_SOURCE_DIR}/src/main.cpp)
  if(variant STREQUAL bench_frame_cpu)
    list(APPEND sources ${CMAKE_CURRENT_LIST_DIR}/glstub.cpp)
  endif()
  nv_bench(${variant} SOURCES ${sources} LIBS demo velandor_data)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/src/main.cpp TARGET_DIRECTORY ${variant}
                              PROPERTIES COMPILE_DEFINITIONS main=velandor_main)
endforeach()
target_compile_definitions(bench_frame PRIVATE NV_FRAME_GL)
