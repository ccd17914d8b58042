# Cross toolchain for MinGW-w64 with the posix thread model.
# ZEL_ARCH selects the target: i686 (the shipped 32-bit program, default)
# or x86_64 (the same sources, for machines whose Wine runs only 64-bit code).
if(NOT DEFINED ZEL_ARCH)
  set(ZEL_ARCH "$ENV{ZEL_ARCH}")
endif()
if(NOT ZEL_ARCH)
  set(ZEL_ARCH i686)
endif()
set(ZEL_ARCH "${ZEL_ARCH}" CACHE STRING "MinGW target: i686 or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZEL_ARCH)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZEL_ARCH})
set(_triple ${ZEL_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
