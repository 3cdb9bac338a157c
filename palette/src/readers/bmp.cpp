// BMP images of 1 to 8 bits per pixel: the colour table after the info
// header, stored blue, green, red, with a fourth byte unless the header is
// the 12-byte one of OS/2. Recognised by "BM" and a known info header size;
// a header that says nothing sensible then is a damaged BMP.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t file_header_size = 14;
constexpr std::uint32_t os2_header_size = 12;
// Where the info header keeps planes (bits per pixel follow), in the OS/2
// header and in the others, and the count of colours used.
constexpr std::size_t os2_planes_at = 8;
constexpr std::size_t planes_at = 12;
constexpr std::size_t colours_used_at = 32;
constexpr std::size_t largest_header_size = 124;

bool known_header_size(std::uint32_t size) {
  return size == os2_header_size || size == 40 || size == 52 || size == 56 || size == 64 ||
         size == 108 || size == largest_header_size;
}

bool recognise(const format_head& head) {
  return starts_with(head.bytes, head.size, "BM") && head.size >= file_header_size + 4 &&
         known_header_size(little_endian(head.bytes + file_header_size, 4));
}

bool known_bits(unsigned bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

step read_table(reader_state& state) {
  unsigned char info[largest_header_size];
  if (!skip_bytes(state.input, file_header_size) || !read_bytes(state.input, info, 4)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  const std::uint32_t header_size = little_endian(info, 4);
  if (!read_bytes(state.input, info + 4, header_size - 4)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  const std::size_t at = header_size == os2_header_size ? os2_planes_at : planes_at;
  if (little_endian(info + at, 2) != 1) {
    return invalid_at_byte(state, file_header_size + at, "planes other than 1");
  }
  const unsigned bits = little_endian(info + at + 2, 2);
  if (!known_bits(bits)) {
    return invalid_at_byte(state, file_header_size + at + 2, "an unknown number of bits per pixel");
  }
  if (bits > 8) {
    return step::no_palette;
  }
  const std::uint32_t used =
      header_size == os2_header_size ? 0 : little_endian(info + colours_used_at, 4);
  if (used > (1u << bits)) {
    return invalid_at_byte(state, file_header_size + colours_used_at,
                           "more colours used than the bits allow");
  }
  state.expected = used != 0 ? used : 1u << bits;
  state.table_entry_size = header_size == os2_header_size ? 3 : 4;
  if (!read_bytes(state.input, state.colour_table, state.table_entry_size * state.expected)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends inside its palette");
  }
  return step::ready;
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, true);
}

}  // namespace

extern const palette_format bmp_format = {"BMP",      "a BMP image", "BMP image", recognise,
                                          read_table, next_colour,   nullptr};

}  // namespace vexlo::detail
