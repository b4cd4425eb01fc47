# The demo from the outside: the executable on its own Xvfb (and window manager where one is
# needed), SDL's disk driver for the sound. The soak runs for an hour and is labelled slow.
add_library(nv_probe MODULE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/probe.c)
target_link_libraries(nv_probe PRIVATE OpenGL::GL toolchain::dl)
nv_strict(nv_probe)
# Not instrumented, so that it can be preloaded into a sanitized demo behind the runtime.
target_compile_options(nv_probe PRIVATE -fno-sanitize=all)
target_link_options(nv_probe PRIVATE -fno-sanitize=all)

# What the scripts ask of the X server beyond the standard tools: windows of chosen visuals,
# the cursor's image (XFixes), the server's screen saver.
add_executable(nv_xclient ${CMAKE_CURRENT_SOURCE_DIR}/e2e/xclient.c)
target_link_libraries(nv_xclient PRIVATE X11::X11 X11::Xfixes X11::Xss OpenGL::GLX)
nv_strict(nv_xclient)

add_executable(nv_capture_check ${CMAKE_CURRENT_SOURCE_DIR}/soak/capture_check.cpp)
target_link_libraries(nv_capture_check PRIVATE PkgConfig::VORBISFILE toolchain::m)
nv_strict(nv_capture_check)

nv_script_test(soak ${CMAKE_CURRENT_SOURCE_DIR}/soak/soak.sh LABELS slow TIMEOUT 4500)

nv_script_test(e2e_quit ${CMAKE_CURRENT_SOURCE_DIR}/e2e/quit.sh LABELS e2e TIMEOUT 180)
nv_script_test(e2e_faults ${CMAKE_CURRENT_SOURCE_DIR}/e2e/faults.sh LABELS e2e TIMEOUT 240)
nv_script_test(e2e_resize ${CMAKE_CURRENT_SOURCE_DIR}/e2e/resize.sh LABELS e2e TIMEOUT 180)
nv_script_test(e2e_output ${CMAKE_CURRENT_SOURCE_DIR}/e2e/output.sh LABELS e2e TIMEOUT 180)
nv_script_test(e2e_fresh_clone ${CMAKE_CURRENT_SOURCE_DIR}/e2e/fresh_clone.sh LABELS e2e TIMEOUT 1200)
if(NV_SANITIZE)
  nv_script_test(e2e_sanitized ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sanitized.sh LABELS e2e TIMEOUT 400)
endif()
nv_script_test(e2e_web_port ${CMAKE_CURRENT_SOURCE_DIR}/e2e/web_port.sh LABELS e2e TIMEOUT 120)
