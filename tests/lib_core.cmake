# The support library's core: trace, archives, in-memory files, the nork tool
# and the linked-in archive.

nv_test(test_trace SOURCES test_trace.cpp LIBS nork LABELS unit)

nv_test(test_data SOURCES test_data.cpp LIBS nork LABELS unit)
nv_test(test_memfile SOURCES test_memfile.cpp LIBS nork LABELS unit)

nv_test(test_linked_archive SOURCES test_linked_archive.cpp LIBS velandor_data nork LABELS unit)

nv_script_test(nork_tool ${CMAKE_CURRENT_SOURCE_DIR}/e2e/nork_tool.sh LABELS e2e TIMEOUT 120)
