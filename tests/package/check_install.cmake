# Installs a build tree into a scratch prefix, then configures, builds and
# runs an outside project against the installed CMake package; that project
# also converts the example palette at build time with the installed command.
# With GBA_SCREEN, GBA_EXAMPLE and GBA_CHECK it also cross-builds the GBA
# example, finding the installed command as a user's GBA build would.
#   cmake -DBUILD_DIR=... -DSCRATCH=... -DCONSUMER=... -DCXX=... -DCXX_FLAGS=...
#         -DEXAMPLES=... -P check_install.cmake
foreach(var BUILD_DIR SCRATCH CONSUMER CXX EXAMPLES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
set(prefix "${SCRATCH}/my prefix")  # a space, as a user's path may have

include(${CMAKE_CURRENT_LIST_DIR}/../run_checked.cmake)

# Installing rewrites the build tree's install manifest, which may list the
# user's own install (it is how the README uninstalls): put it back.
set(manifest ${BUILD_DIR}/install_manifest.txt)
if(EXISTS ${manifest})
  file(READ ${manifest} users_manifest)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  RESULT_VARIABLE install_status)
file(COPY_FILE ${manifest} ${SCRATCH}/install_manifest.txt)
if(DEFINED users_manifest)
  file(WRITE ${manifest} "${users_manifest}")
else()
  file(REMOVE ${manifest})
endif()
if(NOT install_status EQUAL 0)
  message(FATAL_ERROR "install into ${prefix} failed")
endif()

foreach(installed bin/vexlo share/man/man1/vexlo.1 include/vexlo/palette.h)
  if(NOT EXISTS ${prefix}/${installed} AND NOT EXISTS ${prefix}/${installed}.gz
     AND NOT EXISTS ${prefix}/${installed}.exe)
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
run(${CMAKE_COMMAND} -S ${CONSUMER} -B ${SCRATCH}/consumer
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  -DCMAKE_BUILD_TYPE=Release -DEXAMPLES=${EXAMPLES})
run(${CMAKE_COMMAND} --build ${SCRATCH}/consumer)
run(${SCRATCH}/consumer/consumer)
run(${CMAKE_COMMAND} -E compare_files ${SCRATCH}/consumer/sunset16.gbapal ${EXAMPLES}/sunset16.gbapal)

# Every recipe the README shows, from its own text.
run(${CMAKE_COMMAND} -E env CXX=${CXX} CXXFLAGS=${CXX_FLAGS}
  bash ${CMAKE_CURRENT_LIST_DIR}/readme_recipes.sh ${CMAKE_CURRENT_LIST_DIR}/../../README.md
  ${prefix} ${SCRATCH}/readme ${EXAMPLES})

if(DEFINED GBA_SCREEN)
  run(${CMAKE_COMMAND} -DEXAMPLE=${GBA_EXAMPLE} -DSCRATCH=${SCRATCH}/gba -DPREFIX=${prefix}
    -DSCREEN=${GBA_SCREEN} -DPALETTES=${CMAKE_CURRENT_LIST_DIR}/../gba/edges.pal -P ${GBA_CHECK})
endif()

# The README's uninstall recipe leaves nothing of what the install made.
set(uninstall -P ${CMAKE_CURRENT_LIST_DIR}/../../cmake/uninstall.cmake)
run(${CMAKE_COMMAND} -DMANIFEST=${SCRATCH}/install_manifest.txt ${uninstall})
if(EXISTS ${prefix})
  message(FATAL_ERROR "${prefix} is left after uninstalling")
endif()
# It keeps a folder that was there before, and what it holds, whatever the
# prefix is called (a component's install writes a manifest of its own).
set(prefix "${SCRATCH}/[1] *?")
file(WRITE "${prefix}/bin/other-tool" "")
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component runtime)
run(${CMAKE_COMMAND} -DMANIFEST=${BUILD_DIR}/install_manifest_runtime.txt ${uninstall})
string(REGEX REPLACE "([][*?])" "[\\1]" pattern "${prefix}")
file(GLOB_RECURSE left LIST_DIRECTORIES true RELATIVE ${prefix} "${pattern}/*")
if(NOT left STREQUAL "bin;bin/other-tool")
  message(FATAL_ERROR "left after uninstalling: ${left}")
endif()
# A prefix that the manifest would split at its ';' is refused untouched.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix "${SCRATCH}/a;b"
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0 OR EXISTS "${SCRATCH}/a;b")
  message(FATAL_ERROR "installed into a prefix with a ';'")
endif()
# A prefix that the manifest would split at a line end is refused too.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix "${SCRATCH}/a\nb"
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0 OR EXISTS "${SCRATCH}/a\nb" OR EXISTS "${SCRATCH}/a")
  message(FATAL_ERROR "installed into a prefix with a line end")
endif()

# Each install below, then its uninstall from another folder, must leave the
# scratch prefix as empty as it found it: twice over one prefix, components
# uninstalled in the other order, a relative prefix, and a staged (DESTDIR)
# install beside a live one that must survive the staged uninstall.
function(install_into prefix component)
  set(only)
  if(component)
    set(only --component ${component})
  endif()
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${only} WORKING_DIRECTORY ${SCRATCH})
  set(suffix)
  if(component)
    set(suffix _${component})
  endif()
  file(COPY_FILE ${BUILD_DIR}/install_manifest${suffix}.txt ${SCRATCH}/${component}manifest.txt)
endfunction()
function(uninstall component)
  run(${CMAKE_COMMAND} -DMANIFEST=${SCRATCH}/${component}manifest.txt ${uninstall}
    WORKING_DIRECTORY ${CONSUMER})
endfunction()
function(expect_empty folder)
  file(GLOB_RECURSE left LIST_DIRECTORIES true "${folder}/*")
  if(left)
    message(FATAL_ERROR "left after uninstalling: ${left}")
  endif()
endfunction()
file(MAKE_DIRECTORY ${SCRATCH}/twice ${SCRATCH}/components ${SCRATCH}/relative ${SCRATCH}/live)
install_into(${SCRATCH}/twice "")
install_into(${SCRATCH}/twice "")
uninstall("")
expect_empty(${SCRATCH}/twice)
install_into(${SCRATCH}/components runtime)
install_into(${SCRATCH}/components development)
uninstall(runtime)
uninstall(development)
expect_empty(${SCRATCH}/components)
install_into(relative/prefix "")
uninstall("")
expect_empty(${SCRATCH}/relative)
install_into(${SCRATCH}/live "")
file(COPY_FILE ${SCRATCH}/manifest.txt ${SCRATCH}/live-manifest.txt)
set(ENV{DESTDIR} ${SCRATCH}/stage)
install_into(${SCRATCH}/live "")
uninstall("")
unset(ENV{DESTDIR})
if(EXISTS ${SCRATCH}/stage OR NOT EXISTS ${SCRATCH}/live/bin/vexlo)
  message(FATAL_ERROR "the staged uninstall missed the stage or reached the live prefix")
endif()
run(${CMAKE_COMMAND} -DMANIFEST=${SCRATCH}/live-manifest.txt ${uninstall})
expect_empty(${SCRATCH}/live)
