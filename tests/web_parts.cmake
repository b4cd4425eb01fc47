# The browser edition's own stand-ins for what its C library lacks, checked natively
# against the real thing: glibc's rand and zlib's uncompress.
set(NV_WEB_PLATFORM_DIR ${PROJECT_SOURCE_DIR}/web/platform)
add_library(nv_web_inflate STATIC ${NV_WEB_PLATFORM_DIR}/zlib/inflate.cpp ${NV_WEB_PLATFORM_DIR}/zlib/stb_inflate.c)
# Renamed, so that the test can hold it beside zlib's own.
target_compile_definitions(nv_web_inflate PRIVATE uncompress=web_uncompress)
target_include_directories(nv_web_inflate PRIVATE ${NV_WEB_PLATFORM_DIR}/zlib)
target_include_directories(nv_web_inflate SYSTEM PRIVATE /usr/include/stb)
nv_test(test_web_parts SOURCES test_web_parts.cpp ${NV_WEB_PLATFORM_DIR}/glibc_rand.cpp
        LIBS nv_web_inflate ZLIB::ZLIB LABELS unit)
target_include_directories(test_web_parts PRIVATE ${NV_WEB_PLATFORM_DIR})
