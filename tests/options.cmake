# The command line (no X).
nv_test(test_options SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_options.cpp LIBS demo LABELS unit)
