#!/usr/bin/env bash
# Builds the README's recipes, taken from its own text, against an installed
# vexlo: the Make rules, the library program and native CMake recipe, the
# devkitPro install (from a copy of the sources), and
# (with arm-none-eabi-gcc) the GBA CMake recipe with its .incbin block, the
# CMake ones with each generator here. Each converts title.pal, then again
# once title.pal has changed, and has work again once vexlo has changed.
#   readme_recipes.sh README PREFIX SCRATCH EXAMPLES   (CXX, CXXFLAGS: the compiler)
# Nothing is written outside SCRATCH but the PREFIX's installed command,
# which it touches.
set -euo pipefail
readme=$1 prefix=$2 scratch=$3 examples=$4
export PATH="$prefix/bin:$PATH"
rm -rf "$scratch"
mkdir -p "$scratch/make" "$scratch/native" "$scratch/gba"

# The README's fenced block that holds the given text.
block_with() {
  awk -v marker="$1" '/^```/ { if (open && index(text, marker)) { printf "%s", text; found = 1 }
    open = !open; text = ""; next } open { text = text $0 "\n" } END { exit !found }' "$readme"
}

# Runs a build in DIR for a one-entry title.pal, then for the bundled
# example, and compares the words it made (WORDS) each time.
check_rebuilds() {
  local dir=$1 words=$2 palette expected
  shift 2
  printf '\xff\x00\x00' >"$scratch/red.pal"
  printf '\x1f\x00' >"$scratch/red.gbapal"
  for palette in "$scratch/red" "$examples/sunset16"; do
    cp "$palette.pal" "$dir/title.pal" && touch "$dir/title.pal"
    (cd "$dir" && "$@")
    cmp "$words" "$palette.gbapal"
  done
}

# Whether a build has no conversion to run: ninja's or make's dry run.
up_to_date() {
  if [[ -f $1/build/build.ninja ]]; then
    ninja -C "$1/build" -n | grep 'no work to do' >/dev/null
  elif [[ -f $1/build/Makefile ]]; then
    ! make -C "$1/build" -n 2>/dev/null | grep 'bin/vexlo' >/dev/null
  else
    make -C "$1" -q title.gbapal
  fi
}
# Touches the installed command: a build that was up to date has work.
check_follows_vexlo() {
  up_to_date "$1" || { echo "$1 is not up to date after its build"; exit 1; }
  touch "$prefix/bin/vexlo"
  ! up_to_date "$1" || { echo "$1 has no work after vexlo changed"; exit 1; }
}

# Make takes no prerequisite with a space in its path: the command is found
# through a link.
ln -s "$prefix/bin" "$scratch/bin"
export PATH="$scratch/bin:$PATH"
{ block_with '%.gbapal: %.pal' && echo 'all: title.gbapal photo.gbapal'; } >"$scratch/make/Makefile"
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\2\2\0\0\0' >"$scratch/make/photo.png"
if ! grep -q 'error: photo.png is ' < <(cd "$scratch/make" && make -s photo.gbapal); then
  echo "the PNG rule did not run vexlo on photo.png"
  exit 1
fi
check_rebuilds "$scratch/make" "$scratch/make/title.gbapal" make -s title.gbapal
check_follows_vexlo "$scratch/make"
# Without vexlo on PATH, a goal that makes no palette runs; one that does stops.
printf 'tidy:\n\t@echo tidy\n' >>"$scratch/make/Makefile"
make=$(command -v make)
mkdir "$scratch/no-vexlo" && ln -s "$(type -P echo)" "$scratch/no-vexlo/echo"
[[ $(cd "$scratch/make" && PATH=$scratch/no-vexlo "$make" -s --no-print-directory tidy 2>&1) == tidy ]] ||
  { echo "the Make rules need vexlo for a goal that converts nothing"; exit 1; }
touch "$scratch/make/title.pal"
stopped=$(cd "$scratch/make" && PATH=$scratch/no-vexlo "$make" -s title.gbapal 2>&1 || true)
grep -q 'vexlo is not on PATH' <<<"$stopped" ||
  { echo "the Make rules did not stop for want of vexlo"; exit 1; }

{ echo 'cmake_minimum_required(VERSION 3.25)' && echo 'project(readme LANGUAGES CXX)' &&
  block_with 'target_link_libraries(my_tool' && block_with 'COMMAND vexlo::vexlo'; } >"$scratch/native/CMakeLists.txt"
block_with '#include <vexlo/palette.h>' >"$scratch/native/main.cpp"
{ echo 'cmake_minimum_required(VERSION 3.25)' && echo 'project(readme_gba ASM)' &&
  block_with 'find_program(VEXLO' && block_with 'OBJECT_DEPENDS' &&
  echo 'add_library(palettes STATIC palettes.s)'; } >"$scratch/gba/CMakeLists.txt"
block_with '.incbin' >"$scratch/gba/palettes.s"
# The words in the GBA recipe's object.
gba_words() {
  arm-none-eabi-ar p build/libpalettes.a palettes.s.obj >palettes.o
  arm-none-eabi-objcopy -O binary -j .rodata palettes.o words.gbapal
}

# The devkitPro recipe, run in a copy of the sources (it builds into
# build/release there): it stops before anything when DEVKITPRO is not set,
# and installs the command under its tools folder.
mapfile -t devkitpro < <(awk '/^With devkitPro/ { found = 1 } found && /^    [^ ]/ { sub(/^    /, ""); print }
  found && /^#/ { exit }' "$readme")
((${#devkitpro[@]} == 3)) || { echo "the devkitPro recipe is not three lines"; exit 1; }
sources=$scratch/sources
mkdir "$sources"
tar -C "$(dirname "$readme")" --exclude=./build --exclude=./.git -cf - . | tar -C "$sources" -xf -
if (cd "$sources" && env -u DEVKITPRO bash -c "${devkitpro[0]}" 2>/dev/null); then
  echo "the devkitPro recipe went on without DEVKITPRO"
  exit 1
fi
(cd "$sources" && export DEVKITPRO=$scratch/devkitpro && for line in "${devkitpro[@]}"; do
  bash -ec "$line" >/dev/null
done)
"$scratch/devkitpro/tools/bin/vexlo" "$examples/sunset16.pal" "$scratch/devkitpro.gbapal"
cmp "$scratch/devkitpro.gbapal" "$examples/sunset16.gbapal"

generators=("Unix Makefiles")
command -v ninja >/dev/null && generators+=(Ninja) || echo "skipped Ninja: apt-get install ninja-build"
command -v arm-none-eabi-gcc >/dev/null || echo "skipped the GBA recipe: apt-get install gcc-arm-none-eabi"
for generator in "${generators[@]}"; do
  rm -rf "$scratch"/{native,gba}/build
  cmake -S "$scratch/native" -B "$scratch/native/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  check_rebuilds "$scratch/native" "$scratch/native/build/title.gbapal" cmake --build build
  check_follows_vexlo "$scratch/native"
  (cd "$scratch/native" && rm -f title.gbapal && build/my_tool && cmp title.gbapal "$examples/sunset16.gbapal")
  command -v arm-none-eabi-gcc >/dev/null || continue
  cmake -S "$scratch/gba" -B "$scratch/gba/build" -G "$generator" --toolchain "$examples/gba/gba.cmake" >/dev/null
  check_rebuilds "$scratch/gba" "$scratch/gba/words.gbapal" eval 'cmake --build build && gba_words'
  check_follows_vexlo "$scratch/gba"
done
echo "the README's recipes build as written"
