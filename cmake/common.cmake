# What every CMake project of the repository shares: the desktop build (the top
# CMakeLists.txt), the browser edition (web/) and the browser sound test's own build
# (tests/web/sound/). Each includes this file right after its project() call.

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# Without a build type asked for: optimised with debug information on the desktop, where the
# tests, the benchmarks and a debugger want both; optimised only for the browser, whose
# visitors download every byte. scripts/package asks for Release itself.
if(NOT CMAKE_BUILD_TYPE)
  if(EMSCRIPTEN)
    set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
  else()
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
  endif()
endif()

# Every name a target links must be a target, so that a renamed or mistyped one fails the
# configure instead of turning into a -l flag; the C library's parts are targets here too.
set(CMAKE_LINK_LIBRARIES_ONLY_TARGETS ON)
foreach(lib m dl)
  add_library(toolchain::${lib} INTERFACE IMPORTED)
  set_property(TARGET toolchain::${lib} PROPERTY IMPORTED_LIBNAME ${lib})
endforeach()

# Warnings are errors for our own targets only.
function(nv_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# nv_version.h, the version --version answers with, for the targets that link nv_version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/../packaging/version.h.in
               ${CMAKE_BINARY_DIR}/generated/nv_version.h @ONLY)
add_library(nv_version INTERFACE)
target_include_directories(nv_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
