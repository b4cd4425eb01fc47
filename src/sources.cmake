# The demo's sources, named once for both editions and the tests:
#   NV_PROGRAM_SOURCES  every one: the whole program, as the browser edition builds it
#   NV_DEMO_MAIN        main(), the driver's story of start-up and of a frame
#   NV_DEMO_SOURCES     all but main(): the desktop's demo library, which the tests link
#   NV_DRAW_SOURCES     what draws: the scenes, their effects and the frame's arithmetic, that
#                       is all of NV_DEMO_SOURCES but the driver's own parts (the command line,
#                       the music). They call GL 1.x and the library only, so the browser
#                       edition's GL layer serves them; its native test builds these against it.
file(GLOB NV_PROGRAM_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
set(NV_DEMO_MAIN ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
set(NV_DEMO_SOURCES ${NV_PROGRAM_SOURCES})
set(NV_DRAW_SOURCES ${NV_PROGRAM_SOURCES})
foreach(part main.cpp options.cpp music.cpp)
  list(FIND NV_DRAW_SOURCES ${CMAKE_CURRENT_LIST_DIR}/${part} at)
  if(at EQUAL -1)
    message(FATAL_ERROR "src/sources.cmake: src/${part} is not there; say which are the driver's own parts")
  endif()
  list(REMOVE_AT NV_DRAW_SOURCES ${at})
endforeach()
list(REMOVE_ITEM NV_DEMO_SOURCES ${NV_DEMO_MAIN})
