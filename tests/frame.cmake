nv_test(test_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_frame.cpp LIBS demo LABELS unit)
nv_test(test_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_window.cpp LIBS platform X11::Xtst LABELS gl)
nv_script_test(e2e_window ${CMAKE_CURRENT_LIST_DIR}/e2e/window.sh LABELS e2e TIMEOUT 120)
nv_test(test_util SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_util.cpp LIBS platform LABELS gl)
