# The WebAssembly build of the page (frontends/web/): Debian's emscripten, with the
# floating-point conversions its C++ library lacks supplied before every
# source, and C++ exceptions as WebAssembly's own instructions (the
# command-line tool's CSV run reports a malformed record by one; emulated
# exceptions would route every call on that path through JavaScript).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_FLAGS_INIT "-include ${CMAKE_CURRENT_LIST_DIR}/../frontends/web/wasm/charconv_compat.h -fwasm-exceptions")
