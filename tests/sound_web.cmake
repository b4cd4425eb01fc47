# The browser edition's sound layer: its own FFT against kissfft here, and the layer itself,
# built with Emscripten and run under Node, against the native layer's capture output.
if(TARGET fsound)
  nv_test(test_sound_fft
          SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_sound_fft.cpp
          LIBS fsound
          LABELS unit)
endif()
