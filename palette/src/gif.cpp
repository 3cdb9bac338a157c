// GIF images: the global colour table after the logical screen descriptor,
// 2^(n+1) entries of red, green and blue.
#include "palette_reader.h"

namespace vexlo::detail {
namespace {

bool recognise(const unsigned char* head, std::size_t size, bool /*whole_input*/) {
  return starts_with(head, size, "GIF87a") || starts_with(head, size, "GIF89a");
}

step read_table(reader_state& state) {
  unsigned char header[13];
  if (!read_bytes(state.input, header, sizeof header)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends in its screen descriptor");
  }
  const unsigned packed = header[10];
  if ((packed & 0x80u) == 0) {
    return step::no_palette;
  }
  state.expected = 2ul << (packed & 7u);
  state.entry_size = 3;
  if (!read_bytes(state.input, state.table, 3 * state.expected)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends inside its palette");
  }
  return step::colour;
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, read_table, false);
}

}  // namespace

const palette_format gif_format = {"a GIF image", "GIF image", recognise, next_colour};

}  // namespace vexlo::detail
