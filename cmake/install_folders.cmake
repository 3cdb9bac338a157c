# Run by an install (cmake --install): the folders the install creates are
# added to its manifest, after the files and deepest first, so that
# uninstall.cmake removes them and no folder that was there before.
cmake_policy(VERSION 3.25)

# CMake's install manifest separates paths with ';' and patterns match
# brackets: a prefix with a ';' cannot be listed, so it is refused before
# anything is installed.
function(vexlo_refuse_unlistable_prefix)
  if("$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" MATCHES ";")
    message(FATAL_ERROR "cannot install into a path with a ';' (its install manifest would "
      "split it): $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  endif()
endfunction()

# Notes each folder below the prefix, up from the given destinations, that
# does not exist yet.
function(vexlo_note_new_folders destinations)
  set(new_folders "")
  foreach(destination IN LISTS destinations)
    if(NOT IS_ABSOLUTE "${destination}")
      set(destination "${CMAKE_INSTALL_PREFIX}/${destination}")
    endif()
    set(folder "$ENV{DESTDIR}${destination}")
    while(NOT EXISTS "${folder}" AND NOT "${folder}" IN_LIST new_folders)
      list(APPEND new_folders "${folder}")
      get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
  endforeach()
  # Longer paths first: a folder comes before the one that holds it.
  list(SORT new_folders ORDER DESCENDING)
  set(vexlo_new_folders "${new_folders}" PARENT_SCOPE)
endfunction()

macro(vexlo_list_new_folders)
  foreach(folder IN LISTS vexlo_new_folders)
    if(IS_DIRECTORY "${folder}")
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${folder}")
    endif()
  endforeach()
endmacro()
