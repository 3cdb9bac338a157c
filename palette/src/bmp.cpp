// BMP images of 1 to 8 bits per pixel: the colour table after the info
// header, stored blue, green, red, with a fourth byte unless the header is
// the 12-byte one of OS/2.
#include "palette_reader.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t file_header_size = 14;

bool known_header_size(std::uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
         size == 124;
}

// Planes and bits per pixel, where the header of this size keeps them.
void planes_and_bits(const unsigned char* info, std::uint32_t header_size, unsigned& planes,
                     unsigned& bits) {
  const int at = header_size == 12 ? 8 : 12;
  planes = little_endian(info + at, 2);
  bits = little_endian(info + at + 2, 2);
}

bool recognise(const unsigned char* head, std::size_t size, bool /*whole_input*/) {
  if (!starts_with(head, size, "BM") || size < file_header_size + 16) {
    return false;
  }
  const unsigned char* info = head + file_header_size;
  const std::uint32_t header_size = little_endian(info, 4);
  unsigned planes = 0;
  unsigned bits = 0;
  if (!known_header_size(header_size)) {
    return false;
  }
  planes_and_bits(info, header_size, planes, bits);
  return planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 ||
                         bits == 24 || bits == 32);
}

step read_table(reader_state& state) {
  unsigned char* info = state.table;
  if (!skip_bytes(state.input, file_header_size) || !read_bytes(state.input, info, 4)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  const std::uint32_t header_size = little_endian(info, 4);
  if (!read_bytes(state.input, info + 4, header_size - 4)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  unsigned planes = 0;
  unsigned bits = 0;
  planes_and_bits(info, header_size, planes, bits);
  if (bits > 8) {
    return step::no_palette;
  }
  const std::uint32_t used = header_size == 12 ? 0 : little_endian(info + 32, 4);
  if (used > (1u << bits)) {
    return invalid_at_byte(state, file_header_size + 32, "more colours used than the bits allow");
  }
  state.expected = used != 0 ? used : 1u << bits;
  state.entry_size = header_size == 12 ? 3 : 4;
  if (!read_bytes(state.input, state.table, state.entry_size * state.expected)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends inside its palette");
  }
  return step::colour;
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, read_table, true);
}

}  // namespace

const palette_format bmp_format = {"a BMP image", "BMP image", recognise, next_colour};

}  // namespace vexlo::detail
