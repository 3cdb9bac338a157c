#include <cstdlib>
#include <cstring>

#include "aligned_block.h"
#include "kelvo.h"
#include "vexlo/palette.h"

namespace vexlo {
namespace {

// Entries converted per block: 192 KiB read, 128 KiB written per call, large
// enough that stdio hands both straight to the kernel without copying, and
// few calls: each costs the kernel as much again as a few KiB of copying. The
// blocks live on the heap, each at a page: callers may run on threads with
// small stacks.
constexpr std::size_t block_entries = 65536;

// Used only when the heap cannot spare a block: slower, but small enough for
// any thread's stack.
constexpr std::size_t fallback_block_entries = 1024;

constexpr std::size_t bytes_per_entry_pair = kelvo_entry_size + gba_word_size;

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
    const unsigned char* entry = entries + kelvo_entry_size * i;
    const std::uint16_t word = gba_color_from_rgb(entry[0], entry[1], entry[2]);
    // Little-endian whatever the host's byte order.
    words[gba_word_size * i] = static_cast<unsigned char>(word & 0xFFu);
    words[gba_word_size * i + 1] = static_cast<unsigned char>(word >> 8);
  }
}

// An Adobe colour table (.act) is 768 bytes of colours, optionally followed
// by a big-endian colour count and transparent index. A 772-byte input with
// such a trailer gives the entries it counts; any other gives all 257.
constexpr std::size_t act_table_size = 772;

std::size_t entries_of_772_bytes(const unsigned char* table) {
  const unsigned count = (unsigned{table[768]} << 8) | table[769];
  const unsigned transparent = (unsigned{table[770]} << 8) | table[771];
  const bool trailer = count >= 1 && count <= 256 && (transparent <= 255 || transparent == 0xFFFF);
  return trailer ? count : act_table_size / kelvo_entry_size;
}

// `buffer` holds `capacity` entries followed by as many words. The `head`
// bytes come before those still in `input`.
// Returns false where a write was short. `as_colours` writes the entries
// themselves, whole, instead of their words.
bool convert_in_blocks(const unsigned char* head, std::size_t head_size, std::FILE* input,
                       std::FILE* output, bool as_colours, unsigned char* buffer,
                       std::size_t capacity) {
  unsigned char* entries = buffer;
  unsigned char* words = buffer + capacity * kelvo_entry_size;
  const std::size_t block_bytes = capacity * kelvo_entry_size;
  static_assert(fallback_block_entries * kelvo_entry_size > act_table_size,
                "an Adobe colour table fits in the first block");

  // A block holds whole entries and fread fills it unless the input ends or
  // fails, so no entry is ever split between two blocks.
  for (bool first_block = true;; first_block = false) {
    std::size_t got = head_size < block_bytes ? head_size : block_bytes;
    if (got > 0) {
      std::memcpy(entries, head, got);
      head += got;
      head_size -= got;
    }
    if (got < block_bytes) {
      got += std::fread(entries + got, 1, block_bytes - got, input);
    }
    std::size_t count = got / kelvo_entry_size;  // drops a trailing partial entry
    // A first block short of full is the whole input.
    if (first_block && got == act_table_size && std::ferror(input) == 0) {
      count = entries_of_772_bytes(entries);
    }

    if (as_colours) {
      if (count > 0 && std::fwrite(entries, kelvo_entry_size, count, output) != count) {
        return false;
      }
    } else {
      convert_entries(entries, count, words);
      if (count > 0 && std::fwrite(words, gba_word_size, count, output) != count) {
        return false;
      }
    }
    if (got < block_bytes) {
      return true;  // end of input, or a read error its indicator tells the caller
    }
  }
}

}  // namespace

namespace detail {

bool convert_kelvo_palette(const unsigned char* head, std::size_t head_size, std::FILE* input,
                           std::FILE* output, bool as_colours) {
  void* allocation = nullptr;
  void* block = allocate_aligned(block_entries * bytes_per_entry_pair, allocation);
  if (block != nullptr) {
    const bool written = convert_in_blocks(head, head_size, input, output, as_colours,
                                           static_cast<unsigned char*>(block), block_entries);
    std::free(allocation);
    return written;
  }
  alignas(64) unsigned char stack_block[fallback_block_entries * bytes_per_entry_pair];
  return convert_in_blocks(head, head_size, input, output, as_colours, stack_block,
                           fallback_block_entries);
}

}  // namespace detail

void convert_palette(const unsigned char* head, std::size_t head_size, std::FILE* input,
                     std::FILE* output) {
  (void)detail::convert_kelvo_palette(head, head_size, input, output, false);
}

void convert_palette(std::FILE* input, std::FILE* output) {
  convert_palette(nullptr, 0, input, output);
}

}  // namespace vexlo
