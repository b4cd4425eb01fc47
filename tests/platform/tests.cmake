# The window layer, the configuration paths and the texture upload (platform/).
nv_test(test_system LIBS platform LABELS unit)
nv_test(test_util LIBS platform LABELS gl)
nv_test(test_window LIBS platform X11::Xtst LABELS gl)
