#include <cstring>

#include "vexlo/palette.h"

namespace vexlo {
namespace {

// Entries converted per block: 96 KiB read, 64 KiB written per call, large
// enough that stdio hands both straight to the kernel without copying.
constexpr std::size_t block_entries = 32768;

// The block loop vectorises only with instruction sets newer than the x86-64
// baseline. Where the toolchain can pick a version at load time (GCC or clang
// on glibc), carry several and let the CPU choose; elsewhere build one plain
// version.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GLIBC__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define VEXLO_MULTIVERSION __attribute__((target_clones("default", "avx2", "arch=x86-64-v4")))
#endif
#endif
#ifndef VEXLO_MULTIVERSION
#define VEXLO_MULTIVERSION
#endif

VEXLO_MULTIVERSION
void convert_entries(const unsigned char* __restrict entries, std::size_t count,
                     unsigned char* __restrict words) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t word =
        gba_color_from_rgb(entries[3 * i], entries[3 * i + 1], entries[3 * i + 2]);
    // Little-endian whatever the host's byte order.
    words[2 * i] = static_cast<unsigned char>(word & 0xFFu);
    words[2 * i + 1] = static_cast<unsigned char>(word >> 8);
  }
}

}  // namespace

void convert_palette(std::FILE* input, std::FILE* output) {
  // Room for a whole block plus the one or two bytes of an entry split
  // between two reads, carried to the front of the next one.
  unsigned char entries[block_entries * kelvo_entry_size + kelvo_entry_size - 1];
  unsigned char words[block_entries * gba_word_size];
  std::size_t carried = 0;

  for (;;) {
    const std::size_t wanted = block_entries * kelvo_entry_size;
    // A short count means end of input or a read error; either ends the loop
    // once the bytes that did arrive are converted.
    const std::size_t got = std::fread(entries + carried, 1, wanted, input);
    const std::size_t available = carried + got;
    const std::size_t count = available / kelvo_entry_size;

    convert_entries(entries, count, words);
    if (count > 0 && std::fwrite(words, gba_word_size, count, output) != count) {
      return;  // the output's error indicator tells the caller
    }

    carried = available - count * kelvo_entry_size;
    std::memmove(entries, entries + count * kelvo_entry_size, carried);
    if (got < wanted) {
      return;
    }
  }
}

}  // namespace vexlo
