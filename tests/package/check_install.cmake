# Installs a build tree into a scratch prefix, then configures, builds and
# runs an outside project against the installed CMake package.
#   cmake -DBUILD_DIR=... -DSCRATCH=... -DCONSUMER=... -DCXX=... [-DCONFIG=...] -P check_install.cmake
foreach(var BUILD_DIR SCRATCH CONSUMER CXX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
set(prefix ${SCRATCH}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(installed bin/vexlo share/man/man1/vexlo.1 include/vexlo/palette.h)
  if(NOT EXISTS ${prefix}/${installed} AND NOT EXISTS ${prefix}/${installed}.exe)
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
run(${CMAKE_COMMAND} -S ${CONSUMER} -B ${SCRATCH}/consumer
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${SCRATCH}/consumer)
run(${SCRATCH}/consumer/consumer)
