// RIFF palettes (.pal) of Windows: a "RIFF" form of type "PAL " whose "data"
// chunk holds a version (0x0300), a count, then red, green, blue and flags
// per colour. Other chunks are skipped.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

bool recognise(const format_head& head) {
  return starts_with(head.bytes, head.size, "RIFF") && has_at(head.bytes, head.size, 8, "PAL ");
}

step find_data_chunk(reader_state& state) {
  unsigned char header[12];
  if (!read_bytes(state.input, header, 12)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  for (;;) {
    const std::uint64_t chunk_offset = offset_of_next_byte(state.input);
    unsigned char chunk[8];
    if (!read_bytes(state.input, chunk, 8)) {
      return invalid_at_byte(state, chunk_offset, "no data chunk");
    }
    const std::uint32_t size = little_endian(chunk + 4, 4);
    if (!starts_with(chunk, 4, "data")) {
      // Chunks of odd size are padded to an even one.
      if (!skip_bytes(state.input, std::uint64_t{size} + (size & 1u))) {
        return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in a chunk");
      }
      continue;
    }
    unsigned char version_and_count[4];
    if (!read_bytes(state.input, version_and_count, 4)) {
      return invalid_at_byte(state, chunk_offset + 8, "the file ends inside its palette");
    }
    if (little_endian(version_and_count, 2) != 0x0300) {
      return invalid_at_byte(state, chunk_offset + 8, "the version is not 0x0300");
    }
    state.expected = little_endian(version_and_count + 2, 2);
    if (size != 4 + 4 * std::uint64_t{state.expected}) {
      return invalid_at_byte(state, chunk_offset + 10, "the count disagrees with the chunk size");
    }
    return step::ready;
  }
}

step next_colour(reader_state& state, rgb& colour) {
  if (all_given(state)) {
    return step::end;
  }
  // Up to 65535 entries: read one at a time rather than kept in a table.
  unsigned char entry[4];
  if (!read_bytes(state.input, entry, 4)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input),
                           "the file ends inside its palette");
  }
  colour = {entry[0], entry[1], entry[2]};
  ++state.given;
  return step::colour;
}

}  // namespace

extern const palette_format riff_format = {
    "RIFF", "a RIFF palette", "RIFF palette", recognise, find_data_chunk, next_colour, nullptr};

}  // namespace vexlo::detail
