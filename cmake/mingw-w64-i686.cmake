# Cross build for Windows (i686) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(UPDATER_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
