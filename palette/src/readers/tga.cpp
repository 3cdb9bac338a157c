// Truevision TGA images with a colour map: an 18-byte header (colour map
// type 1 at byte 1, image type 1 or 9 at byte 2, the map's first entry,
// length and entry size at bytes 3, 5 and 7, pixel depth at byte 16), an ID
// field, then the colour map, little-endian. TGA has no signature: the
// header's fields must all hold values that a colour-mapped image has (see
// recognise). A version 2 file also ends in a footer, which, where the
// whole file is seen, also tells a true-colour or greyscale image.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t header_size = 18;
constexpr std::size_t footer_size = 26;
constexpr char footer_signature[] = "TRUEVISION-XFILE.";

bool has_footer(const format_head& head) {
  return head.whole_input && head.size >= header_size + footer_size &&
         std::memcmp(head.bytes + head.size - 18, footer_signature, sizeof footer_signature) == 0;
}

bool known_entry_size(unsigned bits) {
  return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// Colour map type 1, image type 1 or 9, an entry size of 15, 16, 24 or 32
// bits, a map of at least one entry that 8 or 16-bit pixels can index, an
// image of at least 1 x 1, no interleaving. A file cut short of its map or
// pixels is a damaged image, refused when read.
bool colour_mapped(const format_head& head) {
  const unsigned char* header = head.bytes;
  if (head.size < header_size || header[1] != 1 || (header[2] != 1 && header[2] != 9)) {
    return false;
  }
  const std::uint32_t first = little_endian(header + 3, 2);
  const std::uint32_t length = little_endian(header + 5, 2);
  const unsigned entry_bits = header[7];
  const unsigned depth = header[16];
  const std::uint32_t width = little_endian(header + 12, 2);
  const std::uint32_t height = little_endian(header + 14, 2);
  if (!known_entry_size(entry_bits) || length == 0 || (depth != 8 && depth != 16) ||
      first + length > (1u << depth) || width == 0 || height == 0 || (header[17] & 0xC0u) != 0) {
    return false;
  }
  return true;
}

bool recognise(const format_head& head) {
  return colour_mapped(head) ||
         (has_footer(head) && head.bytes[1] <= 1 &&
          (head.bytes[2] == 2 || head.bytes[2] == 3 || head.bytes[2] == 10 || head.bytes[2] == 11));
}

step read_header(reader_state& state) {
  unsigned char header[header_size];
  if (!read_bytes(state.input, header, header_size)) {
    return invalid_at_byte(state, 0, "the file ends in its header");
  }
  if (header[1] != 1 || (header[2] != 1 && header[2] != 9)) {
    return step::no_palette;
  }
  if (!skip_bytes(state.input, header[0])) {
    return invalid_at_byte(state, header_size, "the file ends in its ID field");
  }
  // Pixels index the map from its first entry, as Pillow reads it: the
  // entries before it are black.
  state.black_before_first = little_endian(header + 3, 2);
  state.expected = little_endian(header + 5, 2);
  state.stream_entry_size = (header[7] + 7u) / 8;
  state.section_end =
      header_size + header[0] + std::uint64_t{state.expected} * state.stream_entry_size;
  if (header[2] == 1) {  // uncompressed: the pixels' size is known
    state.section_end += std::uint64_t{little_endian(header + 12, 2)} *
                         little_endian(header + 14, 2) * (header[16] / 8u);
  }
  return step::ready;
}

step next_colour(reader_state& state, rgb& colour) {
  if (all_given(state)) {
    return offset_of_next_byte(state.input) < state.section_end
               ? invalid_at_byte(state, offset_of_next_byte(state.input),
                                 "the file ends inside its pixels")
               : step::end;
  }
  unsigned char entry[4];
  if (!read_bytes(state.input, entry, state.stream_entry_size)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends inside its colour map");
  }
  ++state.given;
  if (state.stream_entry_size == 2) {
    // 5 bits a channel, red highest, kept as they are.
    const std::uint32_t word = little_endian(entry, 2);
    colour = {static_cast<unsigned char>((word >> 10 & 31u) << 3),
              static_cast<unsigned char>((word >> 5 & 31u) << 3),
              static_cast<unsigned char>((word & 31u) << 3)};
  } else {
    colour = {entry[2], entry[1], entry[0]};
  }
  return step::colour;
}

}  // namespace

extern const palette_format tga_format = {"TGA",       "a TGA image", "TGA image", recognise,
                                          read_header, next_colour,   nullptr};

}  // namespace vexlo::detail
