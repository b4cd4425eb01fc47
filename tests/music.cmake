# The music pieces in data/ and their generator (tools/assets/music.cmake defines `music`).
nv_test(test_music SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_music.cpp LIBS music LABELS unit)
