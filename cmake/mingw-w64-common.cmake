# What both mingw-w64 cross builds share, for the triplet that the including
# toolchain file sets: Debian's compilers of the POSIX threading model (which
# std::thread and std::async need) and its libraries only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${UPDATER_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATER_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATER_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${UPDATER_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
