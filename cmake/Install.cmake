# Installation of the library and its CMake package: after
#   cmake --install BUILD --prefix PREFIX
# another project finds it with find_package(vantrel) (CMAKE_PREFIX_PATH=PREFIX)
# and links vantrel::vantrel: the static library with the public headers.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Position-independent, so that the library can go into shared objects too: the
# Python extension module here, plug-ins of other programs there.
set_target_properties(vantrel_core PROPERTIES EXPORT_NAME vantrel POSITION_INDEPENDENT_CODE ON)
# The public headers use C++20 (std::span); consumers get it with the target.
target_compile_features(vantrel_core PUBLIC cxx_std_20)
# The same name inside this build, for targets that link as a consumer would.
add_library(vantrel::vantrel ALIAS vantrel_core)

install(TARGETS vantrel_core EXPORT vantrelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vantrel
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
