# The sound layer for the browser edition (Emscripten builds only): the engine of sound/ over
# Web Audio, or the capture output, with Ogg Vorbis decoded by stb_vorbis inside WebAssembly.
#
#   fsound_web                 the layer (static); links in its JavaScript side itself
#   NV_WEB_SOUND_SITE_FILES    files the site serves next to the program's .js
#   NV_WEB_SOUND_EXPORTS       C functions the page and its tests call, for EXPORTED_FUNCTIONS
#
# The page starts the sound from a user gesture with Module.nvSoundStart() (a Promise), and
# hands over the music as it comes through Module.nvFiles (fsound_web.js).
set(NV_WEB_SOUND_DIR ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(NV_SOUND_DIR ${CMAKE_CURRENT_LIST_DIR}/../../sound ABSOLUTE)

# Debian's libstb-dev: a header outside Emscripten's sysroot, looked for where it lies.
find_path(NV_STB_VORBIS_DIR stb_vorbis.h PATHS /usr/include/stb NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT NV_STB_VORBIS_DIR)
  message(FATAL_ERROR "stb_vorbis.h not found (Debian package libstb-dev)")
endif()

include(${NV_SOUND_DIR}/engine.cmake)
add_library(fsound_web STATIC ${FSOUND_ENGINE_SOURCES}
  ${NV_WEB_SOUND_DIR}/source_stb.cpp
  ${NV_WEB_SOUND_DIR}/output_webaudio.cpp)
target_include_directories(fsound_web PUBLIC ${NV_SOUND_DIR})
target_include_directories(fsound_web SYSTEM PRIVATE ${NV_STB_VORBIS_DIR})
nv_strict(fsound_web)
target_compile_options(fsound_web PRIVATE -fno-exceptions)
target_link_options(fsound_web INTERFACE "SHELL:--js-library ${NV_WEB_SOUND_DIR}/fsound_web.js")
set_property(TARGET fsound_web APPEND PROPERTY INTERFACE_LINK_DEPENDS
             ${NV_WEB_SOUND_DIR}/fsound_web.js)

set(NV_WEB_SOUND_SITE_FILES ${NV_WEB_SOUND_DIR}/fsound-worklet.js)
set(NV_WEB_SOUND_EXPORTS _fsound_capture_rate _fsound_capture_frame _FSOUND_DSP_GetSpectrum
                         _fsound_web_piece_room _fsound_web_piece_end _malloc _free)
