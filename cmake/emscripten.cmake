# The WebAssembly build of the page (frontends/web/): Debian's emscripten, with
# C++ exceptions as WebAssembly's own instructions (the library's CSV reader
# reports a malformed record by one; emulated exceptions would route every
# call on that path through JavaScript). Its prebuilt C++ library calls out
# even for a string's size: the string's members are compiled with the code
# that uses them instead, where they inline (a quarter of the CSV run's time).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_FLAGS_INIT "-fwasm-exceptions -D_LIBCPP_DISABLE_EXTERN_TEMPLATE")
