# Removes what an install put in place, as its install_manifest.txt lists,
# then the directories that this leaves empty, up to the install prefix (the
# directory that holds every listed file), which stays. Any path works,
# spaces and all.
#   cmake -DMANIFEST=build/default/install_manifest.txt -P cmake/uninstall.cmake
if(NOT DEFINED MANIFEST OR NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "MANIFEST names no install manifest: ${MANIFEST}")
endif()
file(STRINGS "${MANIFEST}" installed)
if(NOT installed)
  return()
endif()

# Whether `path` lies below directory `base`; no pattern, so any name works.
function(is_below path base result)
  string(FIND "${path}" "${base}/" at)
  if(at EQUAL 0 AND NOT base STREQUAL "/")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

list(GET installed 0 prefix)
get_filename_component(prefix "${prefix}" DIRECTORY)
set(directories)
foreach(file IN LISTS installed)
  is_below("${file}" "${prefix}" below)
  while(NOT below AND NOT prefix STREQUAL "/")
    get_filename_component(prefix "${prefix}" DIRECTORY)
    is_below("${file}" "${prefix}" below)
  endwhile()
  get_filename_component(directory "${file}" DIRECTORY)
  list(APPEND directories "${directory}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
endforeach()

# Deepest first, so that a parent is looked at once its children are gone.
list(REMOVE_DUPLICATES directories)
list(SORT directories ORDER DESCENDING)
foreach(directory IN LISTS directories)
  is_below("${directory}" "${prefix}" below)
  while(below AND IS_DIRECTORY "${directory}")
    file(GLOB left "${directory}/*" "${directory}/.*")
    if(left)
      break()
    endif()
    file(REMOVE_RECURSE "${directory}")  # empty, as just checked
    get_filename_component(directory "${directory}" DIRECTORY)
    is_below("${directory}" "${prefix}" below)
  endwhile()
endforeach()
