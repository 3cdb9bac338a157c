# Read by CPack for each generator. A Debian package takes its one-line
# summary from the first line of its own description, not the project's.
if(CPACK_GENERATOR STREQUAL "DEB")
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
