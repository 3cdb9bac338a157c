# Copies examples/gba into SCRATCH, builds it there as a user would, first
# with its own palette, then with each of PALETTES in turn in the same
# build tree, and checks the screen of each ROM with gba_screen. A palette
# named jasc:PATH or png:PATH is the Kelvo palette PATH written as a JASC-PAL
# file or an indexed PNG image; two in a row must differ, or a ROM that was
# not rebuilt would pass.
#   cmake -DEXAMPLE=dir -DSCRATCH=dir -DSCREEN=gba_screen -DPALETTES=a.pal;b.pal
#         [-DVEXLO=path | -DPREFIX=install prefix] [-DGENERATOR=Ninja|make|...]
#         [-DREFUSED=ON] [-DGROW=ON] -P check_rom.cmake
# GENERATOR is a CMake generator, or make for the example's Makefile. With
# REFUSED, a damaged JASC-PAL file in place of the palette must fail the build.
# With GROW, the example first grows as a game does, by one edit of its
# build: a C++ file whose global object's constructor fills a struct, which
# the C code copies whole (memcpy, from newlib) to show the palette; a
# header edit must then rebuild the C file that includes it.
foreach(var EXAMPLE SCRATCH SCREEN PALETTES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/../run_checked.cmake)
file(REMOVE_RECURSE ${SCRATCH})
file(COPY ${EXAMPLE}/ DESTINATION ${SCRATCH}/example)
set(folder ${SCRATCH}/example)
set(shown ${SCRATCH}/shown.pal)

# The command is found on PATH, as a user's build finds it; with PREFIX,
# through CMAKE_PREFIX_PATH.
set(find_vexlo)
if(DEFINED VEXLO)
  get_filename_component(vexlo_dir ${VEXLO} DIRECTORY)
  set(ENV{PATH} "${vexlo_dir}:$ENV{PATH}")
elseif(DEFINED PREFIX)
  set(find_vexlo -DCMAKE_PREFIX_PATH=${PREFIX})
endif()

if(NOT GENERATOR)
  set(GENERATOR "Unix Makefiles")
endif()

# Replaces `old` by `new` in a file of the example, which must hold it.
function(edit file old new)
  file(READ ${folder}/${file} text)
  string(FIND "${text}" "${old}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} no longer holds: ${old}")
  endif()
  string(REPLACE "${old}" "${new}" text "${text}")
  file(WRITE ${folder}/${file} "${text}")
endfunction()
if(GROW)
  file(WRITE ${folder}/held_palette.h "#include <stdint.h>
#ifdef __cplusplus
extern \"C\" {
#endif
struct held_palette { uint16_t words[256]; unsigned count; };
extern struct held_palette held;
#ifdef __cplusplus
}
#endif
")
  file(WRITE ${folder}/held_palette.cpp "#include <string.h>
#include \"held_palette.h\"
extern \"C\" const uint16_t palette_words[], palette_words_end[];
struct held_palette held;
namespace {
struct holder {
  holder() {
    const unsigned count = static_cast<unsigned>(palette_words_end - palette_words);
    held.count = count < 256 ? count : 256;
    memcpy(held.words, palette_words, 2 * held.count);
  }
} const filled;
}
")
  edit(show_palette.c "#include <stdint.h>" "#include <stdint.h>\n#include \"held_palette.h\"")
  edit(show_palette.c "for (unsigned k = 0; k < count; ++k) {"
    "const struct held_palette shown = held;\n  for (unsigned k = 0; k < shown.count; ++k) {")
  edit(show_palette.c "= palette_words[k];" "= shown.words[k];")
  edit(Makefile "SOURCES := " "SOURCES := held_palette.cpp ")
  edit(CMakeLists.txt "add_executable(show_palette.elf " "add_executable(show_palette.elf held_palette.cpp ")
endif()
# Builds with a palette (empty: the example's own) and sets `rom`.
function(build_rom palette)
  set(choice)
  if(palette)
    set(choice PALETTE=${palette})
  endif()
  if(GENERATOR STREQUAL "make")
    run(make -C ${folder} ${choice})
    set(rom ${folder}/show_palette.gba PARENT_SCOPE)
    return()
  endif()
  list(TRANSFORM choice PREPEND -D)
  run(${CMAKE_COMMAND} -S . -B build --toolchain gba.cmake -G ${GENERATOR} ${choice} ${find_vexlo}
    WORKING_DIRECTORY ${folder})
  run(${CMAKE_COMMAND} --build build WORKING_DIRECTORY ${folder})
  set(rom ${folder}/build/show_palette.gba PARENT_SCOPE)
endfunction()

build_rom("")
message(STATUS "showing the example's own palette")
run(${SCREEN} ${rom} ${EXAMPLE}/sunset16.pal)
set(last ${EXAMPLE}/sunset16.pal)
foreach(palette IN LISTS PALETTES)
  if(palette MATCHES "^(jasc|png|aseprite|pcx):(.*)$")
    set(kelvo ${CMAKE_MATCH_2})
    set(writer "source '${CMAKE_CURRENT_LIST_DIR}/../byte_helpers.sh' && kelvo_as_${CMAKE_MATCH_1}")
    string(REPLACE "jasc" "jasc_pal" writer "${writer}")
    run(bash -c "${writer} <'${kelvo}' >'${shown}'")
  else()
    set(kelvo ${palette})
    configure_file(${palette} ${shown} COPYONLY)
    file(TOUCH ${shown})
  endif()
  file(SHA256 ${kelvo} colours)
  file(SHA256 ${last} last_colours)
  if(colours STREQUAL last_colours)
    message(FATAL_ERROR "${palette} has the colours of the palette before it: no rebuild is proven")
  endif()
  set(last ${kelvo})
  build_rom(${shown})
  message(STATUS "showing ${palette}")
  run(${SCREEN} ${rom} ${kelvo})
endforeach()

# A header edit rebuilds what includes it.
if(GROW)
  file(APPEND ${folder}/held_palette.h "// edited\n")
  set(dry_run ${CMAKE_COMMAND} --build ${folder}/build -- -n)
  if(GENERATOR STREQUAL "make")
    set(dry_run make -C ${folder} -n)
  endif()
  execute_process(COMMAND ${dry_run} OUTPUT_VARIABLE planned)
  if(NOT planned MATCHES "show_palette\\.c")
    message(FATAL_ERROR "editing held_palette.h rebuilds nothing that includes it:\n${planned}")
  endif()
endif()

if(REFUSED)
  file(WRITE ${shown} "JASC-PAL\r\n0100\r\n2\r\n0 0 0\r\n")
  set(build_again ${CMAKE_COMMAND} --build ${folder}/build)
  if(GENERATOR STREQUAL "make")
    set(build_again make -C ${folder} PALETTE=${shown})
  endif()
  execute_process(COMMAND ${build_again} RESULT_VARIABLE status OUTPUT_VARIABLE said
    ERROR_VARIABLE said)
  if(status EQUAL 0)
    message(FATAL_ERROR "the build went on with a palette vexlo refused")
  endif()
  string(FIND "${said}" "error: ${shown} is not a valid JASC-PAL palette" named)
  if(named EQUAL -1)
    message(FATAL_ERROR "the refusal does not name ${shown}:\n${said}")
  endif()
endif()
