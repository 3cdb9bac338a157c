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
  // A block holds whole entries and fread fills it unless the input ends or
  // fails, so no entry is ever split between two blocks.
  unsigned char entries[block_entries * kelvo_entry_size];
  unsigned char words[block_entries * gba_word_size];

  for (;;) {
    const std::size_t got = std::fread(entries, 1, sizeof entries, input);
    const std::size_t count = got / kelvo_entry_size;  // drops a trailing partial entry

    convert_entries(entries, count, words);
    if (count > 0 && std::fwrite(words, gba_word_size, count, output) != count) {
      return;  // the output's error indicator tells the caller
    }
    if (got < sizeof entries) {
      return;  // end of input, or a read error its indicator tells the caller
    }
  }
}

}  // namespace vexlo
