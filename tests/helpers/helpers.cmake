# What the tests share besides the headers here: the Ogg writer and reference decoder, and the
# programs the test scripts call (each a file of this folder).
add_library(nv_sound_ogg STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_ogg.cpp)
target_link_libraries(nv_sound_ogg PUBLIC PkgConfig::VORBISENC toolchain::m)
nv_strict(nv_sound_ogg)

# nv_mkogg: short Ogg files of tones or kicks.
add_executable(nv_mkogg ${CMAKE_CURRENT_LIST_DIR}/mkogg.cpp)
target_link_libraries(nv_mkogg PRIVATE nv_sound_ogg)
nv_strict(nv_mkogg)

# nv_psnr: the picture comparison of picture.h.
add_executable(nv_psnr ${CMAKE_CURRENT_LIST_DIR}/psnr.cpp)
target_link_libraries(nv_psnr PRIVATE PNG::PNG toolchain::m)
nv_strict(nv_psnr)

# nv_capture_check: a captured mix held against libvorbisfile's decode of the music.
add_executable(nv_capture_check ${CMAKE_CURRENT_LIST_DIR}/capture_check.cpp)
target_link_libraries(nv_capture_check PRIVATE PkgConfig::VORBISFILE toolchain::m)
nv_strict(nv_capture_check)

# nv_probe: preloaded into the demo, it counts its frames, reads its GL errors and answers its
# clock. Not instrumented, so that it can be preloaded into a sanitized demo behind the runtime.
add_library(nv_probe MODULE ${CMAKE_CURRENT_LIST_DIR}/probe.c)
target_link_libraries(nv_probe PRIVATE OpenGL::GL toolchain::dl)
nv_strict(nv_probe)
target_compile_options(nv_probe PRIVATE -fno-sanitize=all)
target_link_options(nv_probe PRIVATE -fno-sanitize=all)

# nv_xclient: what the scripts ask of the X server beyond the standard tools: windows of
# chosen visuals, the cursor's image (XFixes), the server's screen saver.
add_executable(nv_xclient ${CMAKE_CURRENT_LIST_DIR}/xclient.c)
target_link_libraries(nv_xclient PRIVATE X11::X11 X11::Xfixes X11::Xss OpenGL::GLX)
nv_strict(nv_xclient)
