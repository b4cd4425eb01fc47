# The model reader, and the spiral scroller fed arbitrary text. The scroller's GL
# calls go to the tests' GL recorder.
nv_fuzz(fuzz_oia fuzz_oia.cpp)

nv_fuzz(fuzz_scroller fuzz_scroller.cpp ${PROJECT_SOURCE_DIR}/src/Scroller.cpp
        ${PROJECT_SOURCE_DIR}/src/ScrollerSpiral.cpp ${PROJECT_SOURCE_DIR}/tests/gl_recorder.cpp)
target_include_directories(fuzz_scroller PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
