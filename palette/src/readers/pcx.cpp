// PCX images (ZSoft): a 128-byte header (byte 0 = 10, a version, encoding
// 1 for run-length or 0 for none, bits per pixel and plane at byte 3,
// planes at byte 65) holding a
// 16-colour table at byte 16, then the image. An 8-bit image of one plane
// keeps its 256 colours at the very end instead, after a byte 12: read
// through a pipe too, by keeping the last 769 bytes. A monochrome image (1
// bit, 1 plane) is black and white, and version 3 says its header holds no
// palette.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t header_size = 128;
constexpr std::size_t version_at = 1;
constexpr unsigned version_without_palette = 3;
constexpr std::size_t encoding_at = 2;
constexpr std::size_t bits_at = 3;
constexpr std::size_t header_table_at = 16;
constexpr std::size_t planes_at = 65;
constexpr unsigned char table_mark = 12;
constexpr std::size_t tail_size = 1 + 3 * 256;

// Uncompressed images (ImageMagick writes them) have a rarer encoding byte,
// 0, which a colour may hold: the reserved byte 64 must be 0 and the bytes
// per line at 66 more than 0 too.
bool recognise(const format_head& head) {
  if (head.size < header_size || head.bytes[0] != 10 || head.bytes[encoding_at] > 1 ||
      (head.bytes[encoding_at] == 0 &&
       (head.bytes[64] != 0 || little_endian(head.bytes + 66, 2) == 0))) {
    return false;
  }
  const unsigned version = head.bytes[version_at];
  const unsigned bits = head.bytes[bits_at];
  const unsigned planes = head.bytes[planes_at];
  return (version == 0 || (version >= 2 && version <= 5)) &&
         (bits == 1 || bits == 2 || bits == 4 || bits == 8) && planes >= 1 && planes <= 4;
}

// The last tail_size bytes of the input, at the start of the colour table.
std::uint64_t keep_tail(reader_state& state, std::size_t& kept) {
  byte_source& input = state.input;
  unsigned char* tail = state.colour_table;
  kept = 0;
  while (input.position < input.filled || refill(input)) {
    const unsigned char* bytes = input.buffer + input.position;
    const std::size_t size = input.filled - input.position;
    input.position = input.filled;
    if (size >= tail_size) {
      std::memcpy(tail, bytes + size - tail_size, tail_size);
      kept = tail_size;
      continue;
    }
    const std::size_t old = kept < tail_size - size ? kept : tail_size - size;
    std::memmove(tail, tail + kept - old, old);
    std::memcpy(tail + old, bytes, size);
    kept = old + size;
  }
  return offset_of_next_byte(input);
}

step read_table(reader_state& state) {
  unsigned char header[header_size];
  if (!read_bytes(state.input, header, header_size)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  const unsigned bits = header[bits_at] * unsigned{header[planes_at]};
  state.table_entry_size = 3;
  if (header[bits_at] == 8 && header[planes_at] == 1) {
    std::size_t kept = 0;
    const std::uint64_t size = keep_tail(state, kept);
    if (kept < tail_size || state.colour_table[0] != table_mark) {
      return invalid_at_byte(state, size < tail_size ? 0 : size - tail_size,
                             "no 256-colour palette at the end");
    }
    std::memmove(state.colour_table, state.colour_table + 1, tail_size - 1);
    state.expected = 256;
    return step::ready;
  }
  if (header[bits_at] == 8) {
    return step::no_palette;
  }
  if (bits > 4) {
    return invalid_at_byte(state, planes_at, "more planes than a 16-colour image has");
  }
  if (bits == 1) {
    std::memcpy(state.colour_table, "\0\0\0\xFF\xFF\xFF", 6);
  } else if (header[version_at] == version_without_palette) {
    return step::no_palette;
  } else {
    std::memcpy(state.colour_table, header + header_table_at, 48);
  }
  state.expected = 1ul << bits;
  return step::ready;
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, false);
}

}  // namespace

extern const palette_format pcx_format = {"PCX",      "a PCX image", "PCX image", recognise,
                                          read_table, next_colour,   nullptr};

}  // namespace vexlo::detail
