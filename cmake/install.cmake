# Installs the command with its man page (component runtime) and the palette
# library with its header and CMake package (component development), and
# packages both with CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS vexlo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES man/vexlo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)

set(vexlo_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vexlo)
install(TARGETS palette EXPORT vexloTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(DIRECTORY palette/include/vexlo
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT vexloTargets NAMESPACE vexlo::
  DESTINATION ${vexlo_cmake_dir} COMPONENT development)
configure_package_config_file(cmake/vexloConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vexloConfig.cmake
  INSTALL_DESTINATION ${vexlo_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vexloConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/vexloConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vexloConfigVersion.cmake
  DESTINATION ${vexlo_cmake_dir} COMPONENT development)

set(CPACK_PACKAGE_NAME vexlo)
set(CPACK_PACKAGE_VENDOR "vexlo developers")
set(CPACK_PACKAGE_CONTACT "vexlo developers <maintainers@users.noreply.c-seed-3b2dc64f.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP)
if(NOT WIN32)
  list(APPEND CPACK_GENERATOR DEB)
endif()

# One Debian package for the command and man page, one for developers.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vexlo)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME vexlo-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "The vexlo command and its man page")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "The palette conversion library, its header and CMake package")
include(CPack)
