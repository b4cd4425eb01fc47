nv_test(test_scene1 SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene1.cpp LIBS demo LABELS unit)
nv_test(test_scene1_gl SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene1_gl.cpp LIBS demo PNG::PNG LABELS gl)
