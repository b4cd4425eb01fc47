# The effects (vector math, fire particles, spiral scroller) and the model reader.
# The effect tests compile just the sources they test; the scroller's GL calls are
# answered by the tests' GL recorder, so no X server is needed.
set(NV_SRC ${PROJECT_SOURCE_DIR}/src)

nv_test(test_vector SOURCES test_vector.cpp ${NV_SRC}/vector.cpp LABELS unit)
target_include_directories(test_vector PRIVATE ${NV_SRC})

nv_test(test_particles SOURCES test_particles.cpp ${NV_SRC}/ParticleSystem.cpp
        ${NV_SRC}/ParticleSystemFire.cpp LABELS unit)
target_include_directories(test_particles PRIVATE ${NV_SRC})

nv_test(test_scroller SOURCES test_scroller.cpp gl_recorder.cpp ${NV_SRC}/Scroller.cpp ${NV_SRC}/ScrollerSpiral.cpp
        LABELS unit)
target_include_directories(test_scroller PRIVATE ${NV_SRC})

nv_test(test_oia SOURCES test_oia.cpp LIBS nork LABELS unit)

nv_script_test(nork_oia_tool ${CMAKE_CURRENT_SOURCE_DIR}/nork_oia_tool.sh LABELS unit TIMEOUT 60)
