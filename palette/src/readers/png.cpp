// PNG images: an indexed one (colour type 3) carries its palette in the PLTE
// chunk, which must come before the image data. IHDR and PLTE are checked
// against their CRCs; the chunks between them are skipped.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t chunk_header_size = 8;  // length, type
constexpr std::uint32_t ihdr_size = 13;
// Where IHDR's data keeps these, and where its data starts in the file.
constexpr std::size_t bit_depth_at = 8;
constexpr std::size_t colour_type_at = 9;
constexpr std::uint64_t ihdr_data_offset = sizeof signature + chunk_header_size;
constexpr unsigned indexed_colour = 3;

bool recognise(const format_head& head) {
  return head.size >= sizeof signature && std::memcmp(head.bytes, signature, sizeof signature) == 0;
}

bool is_colour_type(unsigned type) {
  return type == 0 || type == 2 || type == 3 || type == 4 || type == 6;
}

// Reads a chunk's data into `chunk` after its 4-byte type, then checks its
// CRC.
step read_checked_chunk(reader_state& state, std::uint64_t offset, std::uint32_t length,
                        unsigned char* chunk) {
  unsigned char crc[4];
  if (!read_bytes(state.input, chunk + 4, length) || !read_bytes(state.input, crc, 4)) {
    return invalid_at_byte(state, offset, "the file ends inside a chunk");
  }
  if (crc32(chunk, 4 + std::size_t{length}) != big_endian(crc, 4)) {
    return invalid_at_byte(state, offset, "bad CRC");
  }
  return step::ready;
}

step read_header(reader_state& state, unsigned& bit_depth) {
  unsigned char chunk[4 + ihdr_size];
  unsigned char header[chunk_header_size];
  if (!skip_bytes(state.input, sizeof signature) ||
      !read_bytes(state.input, header, chunk_header_size)) {
    return invalid_at_byte(state, sizeof signature, "IHDR is not the first chunk");
  }
  std::memcpy(chunk, header + 4, 4);
  if (std::memcmp(chunk, "IHDR", 4) != 0 || big_endian(header, 4) != ihdr_size) {
    return invalid_at_byte(state, sizeof signature, "IHDR is not the first chunk");
  }
  if (read_checked_chunk(state, sizeof signature, ihdr_size, chunk) == step::invalid) {
    return step::invalid;
  }
  const unsigned char* data = chunk + 4;
  bit_depth = data[bit_depth_at];
  if (!is_colour_type(data[colour_type_at])) {
    return invalid_at_byte(state, ihdr_data_offset + colour_type_at, "an unknown colour type");
  }
  if (data[colour_type_at] != indexed_colour) {
    return step::no_palette;
  }
  if (bit_depth != 1 && bit_depth != 2 && bit_depth != 4 && bit_depth != 8) {
    return invalid_at_byte(state, ihdr_data_offset + bit_depth_at,
                           "a bit depth an indexed image cannot have");
  }
  return step::ready;
}

// A PLTE chunk may hold more colours than the pixels can index (up to 256):
// games keep several banks of 16 in one 4-bit image so.
step read_palette(reader_state& state) {
  unsigned bit_depth = 0;
  if (const step header = read_header(state, bit_depth); header != step::ready) {
    return header;
  }
  unsigned char chunk[4 + sizeof state.colour_table];
  for (;;) {
    const std::uint64_t offset = offset_of_next_byte(state.input);
    unsigned char header[chunk_header_size];
    if (!read_bytes(state.input, header, chunk_header_size)) {
      return invalid_at_byte(state, offset, "no PLTE chunk");
    }
    const std::uint32_t length = big_endian(header, 4);
    std::memcpy(chunk, header + 4, 4);
    if (std::memcmp(chunk, "PLTE", 4) == 0) {
      if (length == 0 || length % 3 != 0 || length / 3 > 256) {
        return invalid_at_byte(state, offset, "a PLTE chunk of the wrong size");
      }
      if (read_checked_chunk(state, offset, length, chunk) == step::invalid) {
        return step::invalid;
      }
      std::memcpy(state.colour_table, chunk + 4, length);
      state.expected = length / 3;
      state.table_entry_size = 3;
      return step::ready;
    }
    if (std::memcmp(chunk, "IDAT", 4) == 0 || std::memcmp(chunk, "IEND", 4) == 0) {
      return invalid_at_byte(state, offset, "no PLTE chunk before the image data");
    }
    if (length > 0x7FFFFFFFu || !skip_bytes(state.input, std::uint64_t{length} + 4)) {
      return invalid_at_byte(state, offset, "the file ends inside a chunk");
    }
  }
}

// After the palette, a second PLTE before the image data is a fault too.
step next_colour(reader_state& state, rgb& colour) {
  if (state.given < state.expected) {
    return next_table_colour(state, colour, false);
  }
  for (;;) {
    const std::uint64_t offset = offset_of_next_byte(state.input);
    unsigned char header[chunk_header_size];
    if (!read_bytes(state.input, header, chunk_header_size) ||
        std::memcmp(header + 4, "IDAT", 4) == 0) {
      return next_table_colour(state, colour, false);
    }
    if (std::memcmp(header + 4, "PLTE", 4) == 0) {
      return invalid_at_byte(state, offset, "a second PLTE chunk");
    }
    const std::uint32_t length = big_endian(header, 4);
    if (!skip_bytes(state.input, std::uint64_t{length} + 4)) {
      return next_table_colour(state, colour, false);
    }
  }
}

}  // namespace

extern const palette_format png_format = {"PNG",        "a PNG image", "PNG image", recognise,
                                          read_palette, next_colour,   nullptr};

}  // namespace vexlo::detail
