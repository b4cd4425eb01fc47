# The linked-in archive: the data files packed into one NDAR image and
# assembled into the library "velandor_data" (dataVelandor_data_data,
# dataVelandor_data, dataVelandor_data_size) for the demo, the nork tool and
# the tests.
#
# The image is packed by "nork-pack", a few lines over the library's archive
# writer: the nork tool links this archive (nork find searches it), so it
# cannot be the one that makes it.

# Entry order of the archive. Whichever of them exist in data/ are packed;
# the glob is checked at every build, so files added later are picked up.
set(NV_ARCHIVE_NAMES turm.png grass.png burst.png brackenhold-0.oia nork.png
    MossGlade.png scroll1.txt tarn1.ogg tarn2.ogg)
file(GLOB NV_DATA_PRESENT CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
     ${PROJECT_SOURCE_DIR}/data/*)
set(NV_ARCHIVE_FILES "")
set(NV_ARCHIVE_DEPENDS "")
foreach(name ${NV_ARCHIVE_NAMES})
  if("data/${name}" IN_LIST NV_DATA_PRESENT)
    list(APPEND NV_ARCHIVE_FILES data/${name})
    list(APPEND NV_ARCHIVE_DEPENDS ${PROJECT_SOURCE_DIR}/data/${name})
  endif()
endforeach()
# Rewritten only when the set changes, so a file that disappears repacks too.
string(REPLACE ";" "\n" NV_ARCHIVE_LIST_TEXT "${NV_ARCHIVE_FILES}")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/velandor_files.txt
     CONTENT "${NV_ARCHIVE_LIST_TEXT}\n")

add_executable(nork-pack archive/pack.cpp)
target_link_libraries(nork-pack PRIVATE nork)
nv_strict(nork-pack)

set(NV_ARCHIVE ${CMAKE_CURRENT_BINARY_DIR}/velandor.ndar)
add_custom_command(
  OUTPUT ${NV_ARCHIVE}
  COMMAND nork-pack ${NV_ARCHIVE} ${NV_ARCHIVE_FILES}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  DEPENDS nork-pack ${NV_ARCHIVE_DEPENDS} ${CMAKE_CURRENT_BINARY_DIR}/velandor_files.txt
  COMMENT "Packing the linked-in archive from data/"
  VERBATIM)

add_library(velandor_data STATIC archive/data.S ${NV_ARCHIVE})
set_source_files_properties(archive/data.S PROPERTIES OBJECT_DEPENDS ${NV_ARCHIVE})
target_compile_definitions(velandor_data PRIVATE NV_ARCHIVE_FILE="${NV_ARCHIVE}")
target_include_directories(velandor_data INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(velandor_data INTERFACE nork)

target_link_libraries(velandor PRIVATE velandor_data)
