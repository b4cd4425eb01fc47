# The desktop's modes from the outside: the command line, a given window as a screensaver
# (and under the real XScreenSaver), full screen and the kiosk under a window manager.
nv_script_test(e2e_options ${CMAKE_CURRENT_LIST_DIR}/e2e/options.sh LABELS e2e TIMEOUT 240)
nv_script_test(e2e_saver ${CMAKE_CURRENT_LIST_DIR}/e2e/saver.sh LABELS e2e TIMEOUT 240)
nv_script_test(e2e_fullscreen ${CMAKE_CURRENT_LIST_DIR}/e2e/fullscreen.sh LABELS e2e TIMEOUT 240)
nv_script_test(e2e_xscreensaver ${CMAKE_CURRENT_LIST_DIR}/e2e/xscreensaver.sh LABELS e2e TIMEOUT 240)
