# The Windows artifacts: Vantrel-64.xop and the stand-in host that loads it.
enable_language(RC)

# Wine runs the tests only; the build itself needs none.
find_program(VANTREL_WINE wine)
set(VANTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Runs a Windows program of this build under Wine, in the build tree's own prefix.
configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

# Static runtime: the module must load into a host that ships none of ours.
set(VANTREL_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The host's exports, through an import library made from the module-definition file.
set(igor_import ${CMAKE_BINARY_DIR}/libIgor64.a)
add_custom_command(
  OUTPUT ${igor_import}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${PROJECT_SOURCE_DIR}/frontends/host/Igor64.def
          --dllname Igor64.exe --output-lib ${igor_import}
  DEPENDS ${PROJECT_SOURCE_DIR}/frontends/host/Igor64.def
  COMMENT "Import library for Igor64.exe")
add_custom_target(igor64_import DEPENDS ${igor_import})

# Catalogue, error texts and module information, generated from the catalogue
# by vantrel-resgen built for the build machine: it only writes bytes, the same
# on either side, so the cross build needs no Wine.
include(ExternalProject)
set(build_tools ${CMAKE_BINARY_DIR}/build-tools)
ExternalProject_Add(vantrel_build_tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${build_tools}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF -DVANTREL_BENCHMARKS=OFF
             -DVANTREL_PYTHON=OFF -DVANTREL_MEMCHECK=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${build_tools} --target vantrel-resgen
  BUILD_BYPRODUCTS ${build_tools}/vantrel-resgen
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
set(generated_res ${CMAKE_BINARY_DIR}/catalogue.res)
set(generated_obj ${CMAKE_BINARY_DIR}/catalogue_res.o)
add_custom_command(
  OUTPUT ${generated_res}
  COMMAND ${build_tools}/vantrel-resgen catalogue.res
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS vantrel_build_tools ${build_tools}/vantrel-resgen
  COMMENT "Generating the catalogue resources")
add_custom_command(
  OUTPUT ${generated_obj}
  COMMAND ${CMAKE_RC_COMPILER} -J res -O coff -i ${generated_res} -o ${generated_obj}
  DEPENDS ${generated_res})

# The version block: the file version written once, as the project's version.
string(REPLACE "." "," VANTREL_RC_FILEVERSION ${PROJECT_VERSION})
string(REPLACE "." ", " VANTREL_RC_FILEVERSION_TEXT ${PROJECT_VERSION})
set(version_rc ${CMAKE_BINARY_DIR}/version.rc)
configure_file(${PROJECT_SOURCE_DIR}/frontends/resources/version.rc.in ${version_rc} @ONLY)

add_library(vantrel_xop SHARED
  ${PROJECT_SOURCE_DIR}/frontends/host/platform_windows.cpp
  ${PROJECT_SOURCE_DIR}/frontends/host/Vantrel-64.def
  ${version_rc}
  ${generated_obj})
set_source_files_properties(${version_rc} PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/frontends/resources/manifest.xml)
set_target_properties(vantrel_xop PROPERTIES OUTPUT_NAME Vantrel-64 PREFIX "" SUFFIX ".xop")
add_dependencies(vantrel_xop igor64_import)
target_link_libraries(vantrel_xop PRIVATE vantrel_host ${igor_import} version user32)
vantrel_warnings(vantrel_xop)
target_link_options(vantrel_xop PRIVATE ${VANTREL_STATIC_RUNTIME} -Wl,--exclude-all-symbols)
# No exception support in the module's own code: every routine is noexcept and
# calls nothing that throws, so without it no routine needs a personality
# routine, and neither libstdc++'s exception runtime nor what that drags in
# (emulated TLS, the POSIX-threads library with its thread creation, thread
# context and affinity imports, and its TLS callback) is linked. Unwind tables
# stay, so the host's structured exceptions still unwind through the module.
# docs/imports.md says why each remaining import is there.
foreach(target vantrel_xop vantrel_host)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
endforeach()

add_subdirectory(${PROJECT_SOURCE_DIR}/tests/frontends/host/standin-host ${CMAKE_BINARY_DIR}/standin-host)
include(${PROJECT_SOURCE_DIR}/cmake/Package.cmake)
