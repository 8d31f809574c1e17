# Cross build for x64 (x86-64) Windows with MinGW-w64.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
