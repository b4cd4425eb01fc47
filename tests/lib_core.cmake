# The support library's core: trace, archives, in-memory files, the nork tool
# and the linked-in archive.
set(NV_NORK_TOOL_DIR ${PROJECT_SOURCE_DIR}/tools/nork)

nv_test(test_trace SOURCES test_trace.cpp LIBS nork LABELS unit)

# These build archives with the tool's own writer.
nv_test(test_data SOURCES test_data.cpp ${NV_NORK_TOOL_DIR}/cmd_ar.cpp ${NV_NORK_TOOL_DIR}/files.cpp LIBS nork LABELS unit)
target_include_directories(test_data PRIVATE ${NV_NORK_TOOL_DIR})
nv_test(test_memfile SOURCES test_memfile.cpp ${NV_NORK_TOOL_DIR}/cmd_ar.cpp ${NV_NORK_TOOL_DIR}/files.cpp LIBS nork LABELS unit)
target_include_directories(test_memfile PRIVATE ${NV_NORK_TOOL_DIR})

if(TARGET velandor_data)
  nv_test(test_linked_archive SOURCES test_linked_archive.cpp LIBS velandor_data nork LABELS unit)
endif()

if(TARGET nork-tool)
  nv_script_test(nork_tool ${CMAKE_CURRENT_SOURCE_DIR}/e2e/nork_tool.sh LABELS e2e TIMEOUT 120)
endif()
