# The configuration paths (no X) and the logo scene (renders on an X server).
nv_test(test_system SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_system.cpp LIBS platform LABELS unit)

# libpng writes the scene's test pictures.
nv_test(test_scene0 SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene0.cpp LIBS demo PNG::PNG LABELS gl)
