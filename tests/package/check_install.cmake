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

# Installing rewrites the build tree's install manifests, which may list the
# user's own install (it is how the README uninstalls): every install here
# keeps its manifest in SCRATCH/COMPONENTmanifest.txt and puts the build
# tree's back as they were; the test ends by checking that they are.
set(manifests install_manifest.txt install_manifest_runtime.txt install_manifest_development.txt)
foreach(manifest IN LISTS manifests)
  set(users_${manifest} "")
  if(EXISTS ${BUILD_DIR}/${manifest})
    file(READ ${BUILD_DIR}/${manifest} users_${manifest})
  endif()
endforeach()
function(install_into prefix component)
  set(only)
  set(suffix)
  if(component)
    set(only --component ${component})
    set(suffix _${component})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix "${prefix}" ${only}
    WORKING_DIRECTORY ${SCRATCH} RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(EXISTS ${BUILD_DIR}/install_manifest${suffix}.txt)
    file(COPY_FILE ${BUILD_DIR}/install_manifest${suffix}.txt ${SCRATCH}/${component}manifest.txt)
  endif()
  foreach(manifest IN LISTS manifests)
    if(users_${manifest} STREQUAL "")
      file(REMOVE ${BUILD_DIR}/${manifest})
    else()
      file(WRITE ${BUILD_DIR}/${manifest} "${users_${manifest}}")
    endif()
  endforeach()
  set(install_status ${status} PARENT_SCOPE)
endfunction()
file(MAKE_DIRECTORY ${SCRATCH})
install_into(${prefix} "")
if(NOT install_status EQUAL 0)
  message(FATAL_ERROR "install into ${prefix} failed")
endif()
file(COPY_FILE ${SCRATCH}/manifest.txt ${SCRATCH}/install_manifest.txt)

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
install_into(${prefix} runtime)
run(${CMAKE_COMMAND} -DMANIFEST=${SCRATCH}/runtimemanifest.txt ${uninstall})
string(REGEX REPLACE "([][*?])" "[\\1]" pattern "${prefix}")
file(GLOB_RECURSE left LIST_DIRECTORIES true RELATIVE ${prefix} "${pattern}/*")
if(NOT left STREQUAL "bin;bin/other-tool")
  message(FATAL_ERROR "left after uninstalling: ${left}")
endif()
# A prefix that the manifest would split, at a ';' or a line end, or that
# CMake cannot install into, with a backslash, is refused untouched.
foreach(bad "a;b" "a\nb" "a\\b")
  install_into("${SCRATCH}/${bad}" "")
  if(install_status EQUAL 0 OR EXISTS "${SCRATCH}/${bad}" OR EXISTS "${SCRATCH}/a")
    message(FATAL_ERROR "installed into ${SCRATCH}/${bad}")
  endif()
endforeach()

# Each install below, then its uninstall from another folder, must leave the
# scratch prefix as empty as it found it: twice over one prefix, components
# uninstalled in the other order, a relative prefix, and a staged (DESTDIR)
# install beside a live one that must survive the staged uninstall, with a
# relative DESTDIR.
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
set(ENV{DESTDIR} stage)
install_into(${SCRATCH}/live "")
unset(ENV{DESTDIR})
uninstall("")
if(EXISTS ${SCRATCH}/stage OR NOT EXISTS ${SCRATCH}/live/bin/vexlo)
  message(FATAL_ERROR "the staged uninstall missed the stage or reached the live prefix")
endif()
run(${CMAKE_COMMAND} -DMANIFEST=${SCRATCH}/live-manifest.txt ${uninstall})
expect_empty(${SCRATCH}/live)

# A folder the install made, replaced by a link to the user's own: nothing
# is removed through it, and the uninstall says so and fails.
install_into(${SCRATCH}/linked "")
file(REMOVE_RECURSE ${SCRATCH}/linked/include/vexlo)
file(WRITE ${SCRATCH}/mine/palette.h "mine")
file(CREATE_LINK ${SCRATCH}/mine ${SCRATCH}/linked/include/vexlo SYMBOLIC)
execute_process(COMMAND ${CMAKE_COMMAND} -DMANIFEST=${SCRATCH}/manifest.txt ${uninstall}
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0 OR NOT EXISTS ${SCRATCH}/mine/palette.h OR EXISTS ${SCRATCH}/linked/bin)
  message(FATAL_ERROR "uninstall went through a link, or left what it could remove")
endif()

foreach(manifest IN LISTS manifests)
  set(now "")
  if(EXISTS ${BUILD_DIR}/${manifest})
    file(READ ${BUILD_DIR}/${manifest} now)
  endif()
  if(NOT now STREQUAL users_${manifest})
    message(FATAL_ERROR "the build tree's ${manifest} changed")
  endif()
endforeach()
