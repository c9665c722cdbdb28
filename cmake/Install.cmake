# Installation of the library and its CMake package: after
#   cmake --install BUILD --prefix PREFIX
# another project finds it with find_package(vantrel) (CMAKE_PREFIX_PATH=PREFIX)
# and links vantrel::vantrel: the static libraries with the public headers.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS vantrel_core vantrel_functions vantrel_magnetic vantrel_text EXPORT vantrelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/library/include/vantrel
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
if(TARGET vantrel)
  install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(vantrel_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vantrel)
install(EXPORT vantrelTargets NAMESPACE vantrel:: FILE vantrelTargets.cmake
        DESTINATION ${vantrel_package_dir})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vantrelConfig.cmake.in [=[
@PACKAGE_INIT@
include(CMakeFindDependencyMacro)
find_dependency(Threads)
include("${CMAKE_CURRENT_LIST_DIR}/vantrelTargets.cmake")
check_required_components(vantrel)
]=])
configure_package_config_file(${CMAKE_CURRENT_BINARY_DIR}/vantrelConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/vantrelConfig.cmake
                              INSTALL_DESTINATION ${vantrel_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vantrelConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantrelConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vantrelConfigVersion.cmake
        DESTINATION ${vantrel_package_dir})
