# Cross build for another Linux processor with Debian's cross compilers
# (g++-<triplet>); tests run under qemu-user with the target's libraries.
#
#   cmake --preset cross-armhf      (build-armhf; one preset per processor)
#   cmake -S . -B build-x -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DZW_TARGET=arm-linux-gnueabihf
#
# ZW_TARGET is the GNU triplet: i686-linux-gnu, arm-linux-gnueabihf,
# arm-linux-gnueabi, aarch64-linux-gnu, powerpc64le-linux-gnu, s390x-linux-gnu,
# riscv64-linux-gnu, mips64el-linux-gnuabi64.
if(NOT ZW_TARGET)
  set(ZW_TARGET "$ENV{ZW_TARGET}")
endif()
if(NOT ZW_TARGET)
  message(FATAL_ERROR "linux-cross.cmake: set ZW_TARGET to the target's triplet (e.g. aarch64-linux-gnu)")
endif()
# try_compile projects read this file again: hand the triplet on to them.
set(ENV{ZW_TARGET} "${ZW_TARGET}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZW_TARGET)

# The processor as CMake and qemu name it.
string(REGEX MATCH "^[^-]+" ZW_TARGET_CPU "${ZW_TARGET}")
if(ZW_TARGET_CPU MATCHES "^i[3-6]86$")
  set(ZW_QEMU_CPU i386)
elseif(ZW_TARGET_CPU STREQUAL "powerpc64le")
  set(ZW_QEMU_CPU ppc64le)
else()
  set(ZW_QEMU_CPU ${ZW_TARGET_CPU})
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ZW_TARGET_CPU})
set(CMAKE_C_COMPILER ${ZW_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${ZW_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ZW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The target's libraries from /usr/<triplet>/lib, searched before the
# loader's cache: that cache is this machine's, and where it lists the same
# processor's libraries of another build (i386 ones where wine32 is
# installed) the loader would mix those with its own, and threads hang.
find_program(ZW_QEMU qemu-${ZW_QEMU_CPU})
if(ZW_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZW_QEMU} -L /usr/${ZW_TARGET} -E LD_LIBRARY_PATH=/lib)
endif()
