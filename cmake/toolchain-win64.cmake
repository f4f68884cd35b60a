# Cross-compiling with Debian's MinGW-w64 (x86_64, posix thread model so that
# std::thread and std::mutex work; linked statically, see CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORLA_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORLA_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLA_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLA_TRIPLET}-windres)
# The binary tools of the same target: cmake/StripSymbols.cmake strips the
# shipped binaries with them.
set(CMAKE_OBJCOPY ${VORLA_TRIPLET}-objcopy CACHE FILEPATH "objcopy of the target")
set(CMAKE_STRIP ${VORLA_TRIPLET}-strip CACHE FILEPATH "strip of the target")
set(CMAKE_FIND_ROOT_PATH /usr/${VORLA_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
