# Cross-building Windows DLLs and programs with MinGW-w64 (x86_64), the compilers of the posix
# thread model. Everything is linked statically (see ZvBuild.cmake), so that no MinGW runtime
# DLL (libwinpthread-1.dll, libstdc++-6.dll, libgcc_s) has to travel with the modules.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_zv_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_zv_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_zv_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_zv_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_zv_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
