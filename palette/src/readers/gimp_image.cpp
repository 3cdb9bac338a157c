// GIMP images (.xcf): "gimp xcf " and a version ("file" or "v001" on), the
// size, the base type (2 for indexed), from version 4 a precision, then the
// image's properties, each a type, a length and a payload, big-endian. An
// indexed image keeps its palette in the colour map property.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t signature_size = 14;  // "gimp xcf ", a version, a zero
constexpr std::uint32_t indexed_type = 2;
constexpr std::uint32_t end_property = 0;
constexpr std::uint32_t colour_map_property = 1;

bool recognise(const format_head& head) { return starts_with(head.bytes, head.size, "gimp xcf "); }

step read_colour_map(reader_state& state) {
  unsigned char signature[signature_size];
  std::uint32_t values[3];  // width, height, base type
  if (!read_bytes(state.input, signature, signature_size)) {
    return invalid_at_byte(state, 0, "the file ends in its header");
  }
  for (std::uint32_t& value : values) {
    if (!read_big_endian(state.input, 4, value)) {
      return invalid_at_byte(state, signature_size, "the file ends in its header");
    }
  }
  const bool versioned = signature[9] == 'v';
  const unsigned version = versioned ? unsigned(signature[10] - '0') * 100 +
                                           unsigned(signature[11] - '0') * 10 +
                                           unsigned(signature[12] - '0')
                                     : 0;
  if (values[2] != indexed_type) {
    return step::no_palette;
  }
  std::uint32_t precision = 0;
  if (version >= 4 && !read_big_endian(state.input, 4, precision)) {
    return invalid_at_byte(state, signature_size + 12, "the file ends in its header");
  }
  for (;;) {
    const std::uint64_t property = offset_of_next_byte(state.input);
    std::uint32_t type = 0;
    std::uint32_t length = 0;
    if (!read_big_endian(state.input, 4, type) || !read_big_endian(state.input, 4, length)) {
      return invalid_at_byte(state, property, "the file ends inside a property");
    }
    if (type == end_property) {
      return invalid_at_byte(state, property, "an indexed image without a colour map");
    }
    if (type != colour_map_property) {
      if (!skip_bytes(state.input, length)) {
        return invalid_at_byte(state, property, "the file ends inside a property");
      }
      continue;
    }
    std::uint32_t count = 0;
    if (!read_big_endian(state.input, 4, count)) {
      return invalid_at_byte(state, property, "the file ends inside a property");
    }
    if (count == 0 || count > 256) {
      return invalid_at_byte(state, property + 8, "a colour count other than 1 to 256");
    }
    if (!read_bytes(state.input, state.colour_table, 3 * std::size_t{count})) {
      return invalid_at_byte(state, property, "the file ends inside its palette");
    }
    state.expected = count;
    state.table_entry_size = 3;
    return step::ready;
  }
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, false);
}

}  // namespace

extern const palette_format gimp_image_format = {
    "XCF", "a GIMP image", "GIMP image", recognise, read_colour_map, next_colour, nullptr};

}  // namespace vexlo::detail
