# Run by CPack once it has written the packages. CPack counts a folder at its
# size on disk in a Debian package's Installed-Size, which differs between
# file systems (4 KiB on ext4, a few bytes on tmpfs). This sets the field as
# dpkg-gencontrol counts it, from the files alone (each file's size in KiB,
# rounded up, and 1 for each folder or link), and rebuilds the package with
# dpkg-deb, so that it is the same wherever it is built.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND find . -path ./DEBIAN -prune -o ! -path . -printf "%y %s\\n"
    WORKING_DIRECTORY "${tree}" OUTPUT_VARIABLE entries COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" entries "${entries}")
  set(kib 0)
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "^(.) ([0-9]+)$" entry "${entry}")
    if(CMAKE_MATCH_1 STREQUAL "f")
      math(EXPR kib "${kib} + (${CMAKE_MATCH_2} + 1023) / 1024")
    else()
      math(EXPR kib "${kib} + 1")
    endif()
  endforeach()
  file(READ "${tree}/DEBIAN/control" control)
  string(REGEX REPLACE "Installed-Size: [0-9]+" "Installed-Size: ${kib}" control "${control}")
  file(WRITE "${tree}/DEBIAN/control" "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build "${tree}" "${deb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
