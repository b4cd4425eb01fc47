# The sound layer (sound/): with the music part, through SDL's disk driver (no sound card
# needed); its capture output; its FFT against kissfft. Compared with libvorbisfile's decode.
nv_test(test_fsound LIBS demo nv_sound_ogg LABELS unit)
nv_test(test_capture LIBS demo nv_sound_ogg LABELS unit)
nv_test(test_rfft LIBS fsound PkgConfig::KISSFFT LABELS unit)
