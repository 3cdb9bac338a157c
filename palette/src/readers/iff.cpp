// IFF images of Deluxe Paint, Pro Motion and Grafx2 (.lbm, .iff): a "FORM"
// of type "ILBM" or "PBM " whose chunks (an ID, a big-endian size, the data
// padded to an even size) hold the palette in "CMAP", 3 bytes a colour,
// before the image in "BODY".
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

bool recognise(const format_head& head) {
  return starts_with(head.bytes, head.size, "FORM") &&
         (has_at(head.bytes, head.size, 8, "ILBM") || has_at(head.bytes, head.size, 8, "PBM "));
}

step find_colour_map(reader_state& state) {
  if (!skip_bytes(state.input, 12)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  for (;;) {
    const std::uint64_t chunk = offset_of_next_byte(state.input);
    unsigned char id[4];
    std::uint32_t size = 0;
    if (!read_bytes(state.input, id, 4)) {
      return step::no_palette;
    }
    if (std::memcmp(id, "BODY", 4) == 0) {
      return step::no_palette;
    }
    if (!read_big_endian(state.input, 4, size)) {
      return invalid_at_byte(state, chunk, "the file ends in a chunk header");
    }
    if (std::memcmp(id, "CMAP", 4) != 0) {
      if (!skip_bytes(state.input, std::uint64_t{size} + size % 2)) {
        return invalid_at_byte(state, chunk, "the file ends inside a chunk");
      }
      continue;
    }
    if (size % 3 != 0 || size == 0 || size > 3 * 256) {
      return invalid_at_byte(state, chunk + 4, "a CMAP chunk of the wrong size");
    }
    if (!read_bytes(state.input, state.colour_table, size)) {
      return invalid_at_byte(state, chunk, "the file ends inside its palette");
    }
    state.expected = size / 3;
    state.table_entry_size = 3;
    return step::ready;
  }
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, false);
}

}  // namespace

extern const palette_format iff_format = {"ILBM",          "an IFF image", "IFF image", recognise,
                                          find_colour_map, next_colour,    nullptr};

}  // namespace vexlo::detail
