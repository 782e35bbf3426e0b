# The browser build's folder (make web): the page, its scripts and the
# module, ready to be served as they are.
#
# The linked module waits by unwinding its stack to the page and being
# resumed (binaryen's asyncify): only the port's sleep import unwinds, and
# every call that may lead to it is instrumented.
set_target_properties(zahlwerk PROPERTIES OUTPUT_NAME zahlwerk-linked)
# Debian's wasm32 C++ library has no exceptions: the C++ library's headers
# then end the program where they would throw. The operation table's check,
# a throw evaluated only while compiling, needs them on in its file.
target_compile_options(zwcore PRIVATE -fno-exceptions)
target_compile_options(zahlwerk PRIVATE -fno-exceptions)
set_property(SOURCE src/calc/calculator.cpp APPEND PROPERTY COMPILE_OPTIONS -fexceptions)
# A reactor: the page calls the module's exports while the program waits,
# and a command's exports would each run the constructors and the exit
# actions. The page starts the program through __main_void, after
# _initialize. A stack of 1 MiB (the linker's default is 64 KiB); the heap
# grows.
target_link_options(zahlwerk PRIVATE -mexec-model=reactor -Wl,--export=__main_void -Wl,-z,stack-size=1048576)
find_program(ZW_WASM_OPT wasm-opt REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/zahlwerk.wasm
  COMMAND ${ZW_WASM_OPT} $<TARGET_FILE:zahlwerk> --asyncify --pass-arg=asyncify-imports@zw.sleep
          -O2 --strip-debug --strip-producers -o ${CMAKE_BINARY_DIR}/zahlwerk.wasm
  DEPENDS zahlwerk
  COMMENT "Making the module's waits resumable")
set(ZW_PAGE_FILES index.html host.mjs page.mjs zahlwerk.mjs)
set(ZW_PAGE_OUTPUTS "")
foreach(file ${ZW_PAGE_FILES})
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/src/platform/web/page/${file} ${CMAKE_BINARY_DIR}/${file}
    DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/web/page/${file})
  list(APPEND ZW_PAGE_OUTPUTS ${CMAKE_BINARY_DIR}/${file})
endforeach()
add_custom_target(web_page ALL DEPENDS ${CMAKE_BINARY_DIR}/zahlwerk.wasm ${ZW_PAGE_OUTPUTS})
