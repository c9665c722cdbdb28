# The WebAssembly build of the page (frontends/web/): Debian's emscripten, with
# C++ exceptions as WebAssembly's own instructions (the library's CSV reader
# reports a malformed record by one; emulated exceptions would route every
# call on that path through JavaScript).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_FLAGS_INIT "-fwasm-exceptions")
