# The effects (vector math, fire particles, spiral scroller) and the model reader.
# The scroller's GL calls are answered by the tests' GL recorder, linked ahead of the
# demo's library, so no X server is needed.
nv_test(test_vector SOURCES test_vector.cpp LIBS demo LABELS unit)
nv_test(test_particles SOURCES test_particles.cpp LIBS demo LABELS unit)
nv_test(test_scroller SOURCES test_scroller.cpp gl_recorder.cpp LIBS demo LABELS unit)

nv_test(test_oia SOURCES test_oia.cpp LIBS nork LABELS unit)

nv_script_test(nork_oia_tool ${CMAKE_CURRENT_SOURCE_DIR}/nork_oia_tool.sh LABELS unit TIMEOUT 60)
