#!/usr/bin/env bash
# Builds the README's recipes, taken from the README's own text, against an
# installed vexlo: the library program with its CMake lines, the native
# CMake recipe, the Make rule and, with arm-none-eabi-gcc, the GBA CMake
# recipe with its .incbin block. Each converts title.pal, then converts it
# again once it has changed; the CMake ones under Unix Makefiles and Ninja.
#   readme_recipes.sh README PREFIX SCRATCH EXAMPLES   (CXX, CXXFLAGS: the compiler)
set -euo pipefail
readme=$1 prefix=$2 scratch=$3 examples=$4
export PATH="$prefix/bin:$PATH"
rm -rf "$scratch"

# The text of the README's fenced block that holds the given string.
block_with() {
  local text
  text=$(awk -v marker="$1" '/^```/ { if (open && index(text, marker)) printf "%s", text
    open = !open; text = ""; next } open { text = text $0 "\n" }' "$readme")
  [[ -n $text ]] || { echo "the README has no block with $1"; exit 1; }
  printf '%s\n' "$text"
}

expect_words() {
  cmp "$1" "$2" || { echo "$1 is not the conversion of $3"; exit 1; }
}

# Builds with BUILD (a command run in DIR) for a one-entry palette and then
# for the bundled example, checking WORDS (a file that BUILD writes) each time.
check_rebuilds() {
  local dir=$1 words=$2
  shift 2
  printf '\xff\x00\x00' >"$dir/title.pal"
  printf '\x1f\x00' >"$scratch/red.gbapal"
  (cd "$dir" && "$@")
  expect_words "$words" "$scratch/red.gbapal" "a red entry"
  cp "$examples/sunset16.pal" "$dir/title.pal"
  touch "$dir/title.pal"
  (cd "$dir" && "$@")
  expect_words "$words" "$examples/sunset16.gbapal" sunset16.pal
}

mkdir -p "$scratch/make"
{ block_with '%.gbapal: %.pal' && printf 'all: title.gbapal\n'; } >"$scratch/make/Makefile"
check_rebuilds "$scratch/make" "$scratch/make/title.gbapal" make -s

native=$scratch/native
mkdir -p "$native"
{
  printf 'cmake_minimum_required(VERSION 3.25)\nproject(readme_native LANGUAGES CXX)\n'
  block_with 'target_link_libraries(my_tool'
  block_with 'COMMAND vexlo::vexlo'
  printf 'add_custom_target(palettes ALL DEPENDS title.gbapal)\n'
} >"$native/CMakeLists.txt"
block_with '#include <vexlo/palette.h>' >"$native/main.cpp"

gba=$scratch/gba
if command -v arm-none-eabi-gcc >/dev/null; then
  mkdir -p "$gba"
  {
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(readme_gba ASM)\n'
    block_with 'find_program(VEXLO'
    block_with 'OBJECT_DEPENDS'
    printf 'add_library(palettes STATIC palettes.s)\n'
  } >"$gba/CMakeLists.txt"
  block_with '.incbin' >"$gba/palettes.s"
else
  echo "skipped the GBA recipe: it needs arm-none-eabi-gcc (apt-get install gcc-arm-none-eabi)"
fi

# The words the GBA recipe's object holds.
gba_words() {
  arm-none-eabi-ar p build/libpalettes.a palettes.s.obj >"$scratch/palettes.o"
  arm-none-eabi-objcopy -O binary -j .rodata "$scratch/palettes.o" "$scratch/gba.gbapal"
}

generators=("Unix Makefiles")
if command -v ninja >/dev/null; then
  generators+=(Ninja)
else
  echo "skipped the Ninja builds: they need ninja (apt-get install ninja-build)"
fi
for generator in "${generators[@]}"; do
  rm -rf "$native/build" "$gba/build"
  cmake -S "$native" -B "$native/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  check_rebuilds "$native" "$native/build/title.gbapal" cmake --build build
  cp "$native/title.pal" "$scratch/"
  (cd "$scratch" && rm -f title.gbapal && "$native/build/my_tool")
  expect_words "$scratch/title.gbapal" "$examples/sunset16.gbapal" "sunset16.pal by the library program"
  [[ -d $gba ]] || continue
  cmake -S "$gba" -B "$gba/build" -G "$generator" --toolchain "$examples/gba/gba.cmake" >/dev/null
  check_rebuilds "$gba" "$scratch/gba.gbapal" eval 'cmake --build build && gba_words'
done
echo "the README's recipes build as written"
