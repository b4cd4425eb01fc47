# Start-up of the real demo under an X server: exec to the first buffer swap, step by step.
add_library(nv_startup_probe MODULE ${CMAKE_CURRENT_LIST_DIR}/startup_probe.c)
target_link_libraries(nv_startup_probe PRIVATE toolchain::dl)
nv_strict(nv_startup_probe)
add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp)
target_compile_definitions(bench_startup PRIVATE NV_SOURCE_ROOT="${PROJECT_SOURCE_DIR}"
                           NV_VELANDOR="$<TARGET_FILE:velandor>"
                           NV_STARTUP_PROBE="$<TARGET_FILE:nv_startup_probe>")
add_dependencies(bench_startup velandor nv_startup_probe)
nv_strict(bench_startup)
