# The model reader, and the spiral scroller fed arbitrary text. The scroller's GL
# calls are answered inside its fuzz target.
nv_fuzz(fuzz_oia fuzz_oia.cpp)

nv_fuzz(fuzz_scroller fuzz_scroller.cpp ${PROJECT_SOURCE_DIR}/src/Scroller.cpp
        ${PROJECT_SOURCE_DIR}/src/ScrollerSpiral.cpp)
target_include_directories(fuzz_scroller PRIVATE ${PROJECT_SOURCE_DIR}/src)
