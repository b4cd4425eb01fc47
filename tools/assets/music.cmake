# The music generator: a small synthesizer and sequencer that renders data/tarn1.ogg and
# data/tarn2.ogg. The library is shared with the music tests, which measure the committed files
# with the same spectrum the demo reads.

add_library(music STATIC
  ${CMAKE_CURRENT_LIST_DIR}/synth.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_score.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_render.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_measure.cpp
  # the demo's own analysis, compiled in rather than linked, so that the generator does not
  # depend on the rest of the sound layer
  ${PROJECT_SOURCE_DIR}/sound/spectrum.cpp)
target_include_directories(music PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/sound)
target_link_libraries(music PUBLIC PkgConfig::VORBISENC PkgConfig::KISSFFT toolchain::m)
nv_strict(music)

add_executable(gen_music ${CMAKE_CURRENT_LIST_DIR}/gen_music.cpp)
target_link_libraries(gen_music PRIVATE music)
nv_strict(gen_music)

# Not part of ALL: the pieces are committed, and running this rewrites identical bytes.
add_custom_target(assets-music
  COMMAND gen_music ${PROJECT_SOURCE_DIR}/data
  DEPENDS gen_music
  COMMENT "Rendering data/tarn1.ogg and data/tarn2.ogg"
  VERBATIM)
add_dependencies(assets assets-music)
