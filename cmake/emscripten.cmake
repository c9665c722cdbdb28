# The WebAssembly build of the page (web/): Debian's emscripten, with the
# floating-point conversions its C++ library lacks supplied before every
# source, and C++ exceptions on (the command-line tool's CSV run reports a
# malformed record by one).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_FLAGS_INIT "-include ${CMAKE_CURRENT_LIST_DIR}/../web/wasm/charconv_compat.h -fexceptions")
