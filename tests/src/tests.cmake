# The demo (src/): the effects, the scenes, the frame's arithmetic, the command line and the
# linked-in archive, through the demo's library. The scroller's GL calls go to the GL
# recorder, linked ahead of the library, so that no X server is needed; the scenes' tests on
# an X server draw with Mesa, and libpng writes their pictures.
nv_test(test_vector LIBS demo LABELS unit)
nv_test(test_ParticleSystemFire LIBS demo LABELS unit)
nv_test(test_ScrollerSpiral SOURCES ${NV_HELPERS}/gl_recorder.cpp LIBS demo LABELS unit)
nv_test(test_frame LIBS demo LABELS unit)
nv_test(test_options LIBS demo LABELS unit)
nv_test(test_Scene0 LIBS demo PNG::PNG LABELS gl)
nv_test(test_Scene1 LIBS demo LABELS unit)
nv_test(test_Scene1_gl LIBS demo PNG::PNG LABELS gl)
nv_test(test_archive LIBS velandor_data nork LABELS unit)
