# Cross build for another Linux processor with Debian's cross compilers
# (g++-<triplet>); tests run under qemu-user with the target's libraries
# (tools/cross-target.sh run).
#
#   cmake --preset cross-armhf      (build-armhf; one preset per processor)
#   cmake -S . -B build-x -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DZW_CROSS=armhf
#
# ZW_CROSS is Debian's name of the processor, a row of cross-targets.txt,
# which gives its triplet (ZW_TARGET) and qemu's name for it.
if(NOT ZW_CROSS)
  set(ZW_CROSS "$ENV{ZW_CROSS}")
endif()
if(NOT ZW_CROSS)
  message(FATAL_ERROR "linux-cross.cmake: set ZW_CROSS to the target's name in cmake/cross-targets.txt (e.g. arm64)")
endif()
# try_compile projects read this file again: hand the name on to them.
set(ENV{ZW_CROSS} "${ZW_CROSS}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZW_CROSS)

file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/cross-targets.txt" ZW_CROSS_ROW REGEX "^${ZW_CROSS}[ \t]")
if(NOT ZW_CROSS_ROW)
  message(FATAL_ERROR "linux-cross.cmake: ${ZW_CROSS} is no row of cmake/cross-targets.txt")
endif()
string(REGEX REPLACE "[ \t]+" ";" ZW_CROSS_ROW "${ZW_CROSS_ROW}")
list(GET ZW_CROSS_ROW 1 ZW_TARGET)
list(GET ZW_CROSS_ROW 2 ZW_QEMU_CPU)
# The processor as CMake names it.
string(REGEX MATCH "^[^-]+" ZW_TARGET_CPU "${ZW_TARGET}")

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ZW_TARGET_CPU})
set(CMAKE_C_COMPILER ${ZW_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${ZW_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ZW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(ZW_QEMU qemu-${ZW_QEMU_CPU})
if(ZW_QEMU)
  get_filename_component(ZW_CROSS_RUN "${CMAKE_CURRENT_LIST_DIR}/../tools/cross-target.sh" ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZW_CROSS_RUN} run ${ZW_CROSS})
endif()
