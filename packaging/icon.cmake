# The icon, drawn by make-icon.sh from three of the demo's pictures at any size: the package
# installs it at the hicolor sizes, the browser edition offers it to home screens.
#   nv_icon(OUT SIZE)   a build rule that makes OUT, the icon SIZE pixels square
set(NV_ICON_DIR ${CMAKE_CURRENT_LIST_DIR})
function(nv_icon out size)
  set(data ${NV_ICON_DIR}/../data)
  get_filename_component(dir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                     COMMAND bash ${NV_ICON_DIR}/make-icon.sh ${data} ${size} ${out}
                     DEPENDS ${NV_ICON_DIR}/make-icon.sh ${data}/turm.png ${data}/burst.png ${data}/nork.png
                     VERBATIM)
endfunction()
