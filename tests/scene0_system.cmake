# The configuration paths (no X) and the logo scene (renders on an X server).
nv_test(test_system SOURCES test_system.cpp LIBS platform LABELS unit)
