# Cross build for Windows with Debian's MinGW-w64 (posix thread model, so
# that std::thread and std::mutex exist; winpthread is linked statically).
#
#   cmake --preset win64      (build-win64)
#   cmake --preset win32      (build-win32: ZW_MINGW_TRIPLET=i686-w64-mingw32)
set(ZW_MINGW_TRIPLET "x86_64-w64-mingw32" CACHE STRING "MinGW-w64 target triplet")
# Try-compile projects read the toolchain file again; hand them the triplet.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZW_MINGW_TRIPLET)

set(CMAKE_SYSTEM_NAME Windows)
if(ZW_MINGW_TRIPLET MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

set(CMAKE_C_COMPILER ${ZW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZW_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools built here run under Wine.
find_program(ZW_WINE NAMES wine wine64)
if(ZW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZW_WINE})
endif()
