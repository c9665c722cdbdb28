# The release archive for the host's users:
#   cmake --build --preset windows --target package
# makes Vantrel-<version>-win64.zip in the build tree, holding one folder with
# the plug-in, the command-line tool, the function reference and a read-me.
# <version> is the project's version, which is also the file version of the
# plug-in's version resource: the archive's name says which plug-in it holds.

set(VANTREL_PLUGIN_VERSION ${PROJECT_VERSION})

# Only this component goes into the archive: the library, headers and CMake
# package of cmake/Install.cmake are for C++ programs, not for the host.
install(FILES $<TARGET_FILE:vantrel_xop> DESTINATION . COMPONENT host)
install(PROGRAMS $<TARGET_FILE:vantrel> DESTINATION . COMPONENT host)
install(FILES ${PROJECT_SOURCE_DIR}/docs/functions.md DESTINATION . COMPONENT host)
install(FILES ${PROJECT_SOURCE_DIR}/docs/host-readme.txt DESTINATION . RENAME README.txt COMPONENT host)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Vantrel)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_VERSION ${VANTREL_PLUGIN_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Polarised-neutron diffraction functions for the host, 64-bit Windows")
set(CPACK_PACKAGE_FILE_NAME Vantrel-${VANTREL_PLUGIN_VERSION}-win64)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};host;/")
set(CPACK_SOURCE_GENERATOR ZIP)
include(CPack)
