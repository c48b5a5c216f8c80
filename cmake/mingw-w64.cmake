# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads flavour, which
# std::thread and std::mutex need). Libraries are looked up only in the MinGW sysroot and in the
# folders named by PELMIRA_WINDOWS_DEPS (a ;-separated list, also read from the environment so that
# CMake's try_compile projects see it too); programs come from the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

if(NOT PELMIRA_WINDOWS_DEPS AND DEFINED ENV{PELMIRA_WINDOWS_DEPS})
  set(PELMIRA_WINDOWS_DEPS "$ENV{PELMIRA_WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PELMIRA_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${PELMIRA_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
