# Run by an install (cmake --install): the folders the install creates are
# added to its manifest, after the files and deepest first, so that
# uninstall.cmake removes them and no folder that was there before. Paths
# are recorded as CMake records files, absolute and without DESTDIR, and a
# DESTDIR is recorded on a line of its own.
cmake_policy(VERSION 3.25)

# CMake's install manifest separates paths with ';' and lines with newlines,
# and CMake fails half way through an install into a path with a backslash:
# a prefix holding any of them is refused before anything is installed.
function(vexlo_refuse_unlistable_prefix)
  if("$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" MATCHES "[;\n\r\\]")
    message(FATAL_ERROR "cannot install into a path with a ';', a backslash or a line end: "
      "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  endif()
endfunction()

# Notes each folder below the prefix, up from the given destinations, that
# does not exist yet, and keeps those that an earlier install of the same
# prefix from this build tree created (of this component or another) in a
# ledger there, so that each manifest lists them while they exist.
function(vexlo_note_new_folders destinations build_dir)
  string(MD5 key "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
  set(ledger "${build_dir}/install_folders_${key}.txt")
  set(folders "")
  if(EXISTS "${ledger}")
    file(STRINGS "${ledger}" earlier)
    foreach(folder IN LISTS earlier)
      if(IS_DIRECTORY "$ENV{DESTDIR}${folder}")
        list(APPEND folders "${folder}")
      endif()
    endforeach()
  endif()
  foreach(destination IN LISTS destinations)
    if(NOT IS_ABSOLUTE "${destination}")
      set(destination "${CMAKE_INSTALL_PREFIX}/${destination}")
    endif()
    get_filename_component(folder "${destination}" ABSOLUTE)
    while(NOT EXISTS "$ENV{DESTDIR}${folder}" AND NOT "${folder}" IN_LIST folders)
      list(APPEND folders "${folder}")
      get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
  endforeach()
  # Longer paths first: a folder comes before the one that holds it.
  list(REMOVE_DUPLICATES folders)
  list(SORT folders ORDER DESCENDING)
  string(REPLACE ";" "\n" lines "${folders}")
  file(WRITE "${ledger}" "${lines}\n")
  set(vexlo_new_folders "${folders}" PARENT_SCOPE)
endfunction()

macro(vexlo_list_new_folders)
  foreach(folder IN LISTS vexlo_new_folders)
    if(IS_DIRECTORY "$ENV{DESTDIR}${folder}")
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${folder}")
    endif()
  endforeach()
  # Absolute, so that an uninstall from another folder finds it.
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    file(REAL_PATH "$ENV{DESTDIR}" destdir)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "DESTDIR=${destdir}")
  endif()
endmacro()
