# The browser build (make web): clang 16 for wasm32-wasi, with Debian's
# wasi-libc and its wasm32 libc++ 16 (clang-16, wasi-libc,
# libc++-16-dev-wasm32, libc++abi-16-dev-wasm32, libclang-rt-16-dev-wasm32,
# lld-16). The module runs under the page's own loader, in a browser or
# under node; binaryen's wasm-opt adds the waits to it afterwards.
#
#   cmake --preset web      (build-web)
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
# Platform/WASI.cmake, which CMake has none of.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})

set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
