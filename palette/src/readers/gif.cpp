// GIF images: the global colour table after the logical screen descriptor,
// 2^(n+1) entries of red, green and blue.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t header_size = 13;  // signature and screen descriptor
constexpr std::size_t packed_fields_at = 10;
constexpr unsigned has_global_table = 0x80;

bool recognise(const format_head& head) {
  return starts_with(head.bytes, head.size, "GIF87a") ||
         starts_with(head.bytes, head.size, "GIF89a");
}

step read_table(reader_state& state) {
  unsigned char header[header_size];
  if (!read_bytes(state.input, header, header_size)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends in its screen descriptor");
  }
  const unsigned packed = header[packed_fields_at];
  if ((packed & has_global_table) == 0) {
    return step::no_palette;
  }
  state.expected = 2ul << (packed & 7u);
  state.table_entry_size = 3;
  if (!read_bytes(state.input, state.colour_table, 3 * state.expected)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends inside its palette");
  }
  return step::ready;
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, false);
}

}  // namespace

extern const palette_format gif_format = {"GIF",      "a GIF image", "GIF image", recognise,
                                          read_table, next_colour,   nullptr};

}  // namespace vexlo::detail
