# Cross-builds examples/gba for each palette in turn, in one build tree, and
# checks the screen of the ROM with gba_screen each time.
#   cmake -DEXAMPLE=dir -DSCRATCH=dir -DSCREEN=gba_screen -DPALETTES=a.pal;b.pal
#         [-DVEXLO=path | -DPREFIX=install prefix] [-DREFUSED=ON] -P check_rom.cmake
# With REFUSED, a JASC-PAL file in place of the palette must fail the build.
foreach(var EXAMPLE SCRATCH SCREEN PALETTES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
set(shown ${SCRATCH}/shown.pal)
set(build ${SCRATCH}/build)

# Without either, vexlo is looked up on PATH, as a user's build does.
set(find_vexlo)
if(DEFINED VEXLO)
  set(find_vexlo -DVEXLO=${VEXLO})
elseif(DEFINED PREFIX)
  set(find_vexlo -DCMAKE_PREFIX_PATH=${PREFIX})
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../run_checked.cmake)

foreach(palette IN LISTS PALETTES)
  configure_file(${palette} ${shown} COPYONLY)
  file(TOUCH ${shown})
  if(NOT EXISTS ${build})
    run(${CMAKE_COMMAND} -S ${EXAMPLE} -B ${build} --toolchain ${EXAMPLE}/gba.cmake
      -DPALETTE=${shown} ${find_vexlo})
  endif()
  run(${CMAKE_COMMAND} --build ${build})
  message(STATUS "showing ${palette}")
  run(${SCREEN} ${build}/show_palette.gba ${palette})
endforeach()

if(REFUSED)
  file(WRITE ${shown} "JASC-PAL\r\n0100\r\n1\r\n0 0 0\r\n")
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} RESULT_VARIABLE status)
  if(status EQUAL 0)
    message(FATAL_ERROR "the build went on with a palette vexlo refused")
  endif()
endif()
