# Windows x86 with Debian's MinGW-w64 (i686-w64-mingw32-g++-posix).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
