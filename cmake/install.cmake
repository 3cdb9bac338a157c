# Installs the command with its man page (component runtime) and the palette
# library with its header and CMake package (component development), and
# packages both with CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Every install, of one component or all, lists the folders it creates in its
# manifest, for uninstall.cmake.
set(vexlo_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vexlo)
set(vexlo_destinations ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_MANDIR}/man1 ${CMAKE_INSTALL_LIBDIR}
  ${CMAKE_INSTALL_INCLUDEDIR}/vexlo ${vexlo_cmake_dir} ${CMAKE_INSTALL_DATAROOTDIR}/doc/vexlo
  ${CMAKE_INSTALL_DATAROOTDIR}/doc/vexlo-dev)
install(CODE "include(\"${PROJECT_SOURCE_DIR}/cmake/install_folders.cmake\")
vexlo_refuse_unlistable_prefix()
vexlo_note_new_folders(\"${vexlo_destinations}\" \"${CMAKE_BINARY_DIR}\")" ALL_COMPONENTS)

# The man page carries the project's version and release date.
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/man/vexlo.1)
configure_file(man/vexlo.1.in ${man_page} @ONLY)
install(TARGETS vexlo EXPORT vexloTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

# Debian installs man pages and changelogs compressed; -n keeps the time out
# of the bytes.
find_program(GZIP_PROGRAM gzip)
function(install_gzipped source destination component)
  get_filename_component(name ${source} NAME)
  if(NOT GZIP_PROGRAM OR WIN32)
    install(FILES ${source} DESTINATION ${destination} COMPONENT ${component})
    return()
  endif()
  set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/gzipped/${component}/${name}.gz)
  add_custom_command(OUTPUT ${gzipped}
    COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${gzipped}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(gzip-${component}-${name} ALL DEPENDS ${gzipped})
  install(FILES ${gzipped} DESTINATION ${destination} COMPONENT ${component})
endfunction()
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/gzipped/runtime ${CMAKE_CURRENT_BINARY_DIR}/gzipped/development)
if(WIN32)
  # Windows has no man: the zip carries the same page as plain ASCII text
  # with CR LF line ends, formatted without terminal escapes (and so the
  # same bytes every build). groff-base's groff is enough.
  find_program(GROFF_PROGRAM groff REQUIRED)
  set(manual_text ${CMAKE_CURRENT_BINARY_DIR}/vexlo.txt)
  add_custom_command(OUTPUT ${manual_text}
    COMMAND ${GROFF_PROGRAM} -mdoc -Tascii -P-cbou ${man_page} > ${manual_text}
    COMMAND ${CMAKE_COMMAND} -DFILE=${manual_text} -P ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
    DEPENDS ${man_page} ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
    VERBATIM)
  add_custom_target(manual-text ALL DEPENDS ${manual_text})
  install(FILES ${manual_text} DESTINATION . COMPONENT runtime)
else()
  install_gzipped(${man_page} ${CMAKE_INSTALL_MANDIR}/man1 runtime)
endif()

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

# Each Debian package has its own doc directory with the copyright file (the
# MIT licence in Debian's machine-readable format) and the changelog.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/changelog)
file(STRINGS packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^vexlo \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not start with version ${PROJECT_VERSION}")
endif()
file(READ LICENSE licence)
string(REGEX REPLACE "^MIT License\n\nCopyright [^\n]*\n\n" "" permission "${licence}")
string(REGEX REPLACE "\n$" "" permission "${permission}")
string(REGEX REPLACE "\n\n" "\n.\n" permission "${permission}")
string(REPLACE "\n" "\n " permission " ${permission}")
set(copyright ${CMAKE_CURRENT_BINARY_DIR}/copyright)
file(WRITE ${copyright} "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: vexlo

Files: *
Copyright: 2026 the vexlo developers
License: Expat
${permission}
")
function(install_package_docs package component)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${copyright} DESTINATION ${doc_dir} COMPONENT ${component})
  install_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog ${doc_dir} ${component})
endfunction()
if(WIN32)
  # A Windows zip carries the licence text beside the command.
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT runtime)
else()
  install_package_docs(vexlo runtime)
  install_package_docs(vexlo-dev development)
endif()

install(CODE "vexlo_list_new_folders()" ALL_COMPONENTS)

set(CPACK_PACKAGE_NAME vexlo)
set(CPACK_PACKAGE_VENDOR "vexlo developers")
set(CPACK_PACKAGE_CONTACT "vexlo developers <maintainers@users.noreply.c-seed-3b2dc64f.example>")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_options.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_installed_size.cmake)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP)
if(NOT WIN32)
  list(APPEND CPACK_GENERATOR DEB)
endif()

# One Debian package for the command and man page, one for developers. The
# developers' CMake package names the command too, so it needs the other.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vexlo)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME vexlo-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "palette to GBA palette converter for game builds
vexlo reads a palette, recognised by its content: the palettes paint
programs write, those of indexed images (its manual lists the formats), and
Kelvo palettes (headerless runs of 8-bit red, green and blue triplets). It
writes a GBA palette: one 16-bit little-endian colour word in
the Game Boy Advance's 5-5-5 layout per colour, ready for palette memory.
.
It is meant for game builds: it never overwrites its input or another
palette or image, refuses files that are plainly no palette, reports
every failed read or write with exit status 255, and removes a partly
written output so that a build cannot take it for a finished palette.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "palette to GBA palette conversion library for C++
This package holds the static library behind the vexlo command, its C++
header vexlo/palette.h and a CMake package. It offers the colour rule as a
constexpr function, and the recognition and conversion of every palette
format vexlo reads over C stdio streams, in constant memory, on threads
with small stacks too.
.
The CMake package also exports the vexlo command as the imported target
vexlo::vexlo, for converting palettes at build time.")
include(CPack)
