// PNG images: an indexed one (colour type 3) carries its palette in the PLTE
// chunk, which must come before the image data. IHDR and PLTE are checked
// against their CRCs; the chunks between them are skipped.
#include <cstring>

#include "palette_reader.h"

namespace vexlo::detail {
namespace {

constexpr unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool recognise(const unsigned char* head, std::size_t size, bool /*whole_input*/) {
  return size >= sizeof signature && std::memcmp(head, signature, sizeof signature) == 0;
}

// Reads a chunk's type and data (at most `most` bytes) into `chunk`, then
// checks its CRC. `chunk` holds the 4-byte type first.
step read_checked_chunk(reader_state& state, std::uint64_t offset, std::uint32_t length,
                        unsigned char* chunk) {
  unsigned char crc[4];
  if (!read_bytes(state.input, chunk + 4, length) || !read_bytes(state.input, crc, 4)) {
    return invalid_at_byte(state, offset, "the file ends inside a chunk");
  }
  if (crc32(chunk, 4 + std::size_t{length}) != big_endian_32(crc)) {
    return invalid_at_byte(state, offset, "bad CRC");
  }
  return step::colour;
}

step read_palette(reader_state& state) {
  unsigned char chunk[4 + 768];
  unsigned bit_depth = 0;
  bool first = true;
  if (!skip_bytes(state.input, sizeof signature)) {
    return invalid_at_byte(state, 0, "the file ends in its signature");
  }
  for (;;) {
    const std::uint64_t offset = offset_of_next_byte(state.input);
    unsigned char header[8];
    if (!read_bytes(state.input, header, 8)) {
      return invalid_at_byte(state, offset, "no PLTE chunk");
    }
    const std::uint32_t length = big_endian_32(header);
    std::memcpy(chunk, header + 4, 4);
    if (first) {
      first = false;
      if (std::memcmp(chunk, "IHDR", 4) != 0 || length != 13) {
        return invalid_at_byte(state, offset, "IHDR is not the first chunk");
      }
      if (read_checked_chunk(state, offset, length, chunk) == step::invalid) {
        return step::invalid;
      }
      bit_depth = chunk[4 + 8];
      if (chunk[4 + 9] != 3) {
        return step::no_palette;
      }
      if (bit_depth != 1 && bit_depth != 2 && bit_depth != 4 && bit_depth != 8) {
        return invalid_at_byte(state, offset + 16, "a bit depth an indexed image cannot have");
      }
    } else if (std::memcmp(chunk, "PLTE", 4) == 0) {
      if (length == 0 || length % 3 != 0 || length / 3 > (1u << bit_depth)) {
        return invalid_at_byte(state, offset, "a PLTE chunk of the wrong size");
      }
      if (read_checked_chunk(state, offset, length, chunk) == step::invalid) {
        return step::invalid;
      }
      std::memcpy(state.table, chunk + 4, length);
      state.expected = length / 3;
      state.entry_size = 3;
      return step::colour;
    } else if (std::memcmp(chunk, "IDAT", 4) == 0 || std::memcmp(chunk, "IEND", 4) == 0) {
      return invalid_at_byte(state, offset, "no PLTE chunk before the image data");
    } else if (length > 0x7FFFFFFFu || !skip_bytes(state.input, std::uint64_t{length} + 4)) {
      return invalid_at_byte(state, offset, "the file ends inside a chunk");
    }
  }
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, read_palette, false);
}

}  // namespace

const palette_format png_format = {"a PNG image", "PNG image", recognise, next_colour};

}  // namespace vexlo::detail
