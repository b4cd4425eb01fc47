# Every fuzz target for 30 seconds in the normal test run. The targets are built with clang
# in a build directory of their own by the fixture fuzz_build; without clang the tests are
# skipped (status 77) with a message.
include(${PROJECT_SOURCE_DIR}/fuzz/targets.cmake)
add_test(NAME fuzz_build COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/build.sh ${NV_FUZZ_TARGETS})
set_tests_properties(fuzz_build PROPERTIES LABELS fuzz TIMEOUT 900 SKIP_RETURN_CODE 77
  FIXTURES_SETUP nv_fuzzers
  ENVIRONMENT "NV_BUILD=${PROJECT_BINARY_DIR};NV_ROOT=${PROJECT_SOURCE_DIR}")
foreach(target ${NV_FUZZ_TARGETS})
  add_test(NAME ${target}_30s COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run.sh ${target} 30)
  set_tests_properties(${target}_30s PROPERTIES LABELS fuzz TIMEOUT 300 SKIP_RETURN_CODE 77
    FIXTURES_REQUIRED nv_fuzzers
    ENVIRONMENT "NV_BUILD=${PROJECT_BINARY_DIR};NV_ROOT=${PROJECT_SOURCE_DIR}")
endforeach()
