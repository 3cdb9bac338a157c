// Aseprite sprites (.aseprite, .ase): a 128-byte header (magic 0xA5E0 at
// byte 4), then frames of chunks, little-endian. The palette is the first
// frame's palette chunk (0x2019), or where it has none the older chunk
// (0x0004, or 0x0011 with 6-bit channels). Other chunks, compressed cels
// included, are skipped unread.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t header_size = 128;
constexpr std::size_t frame_header_size = 16;
constexpr std::size_t chunk_header_size = 6;
constexpr std::uint32_t palette_chunk = 0x2019;
constexpr std::uint32_t old_palette_chunk = 0x0004;
constexpr std::uint32_t old_6_bit_palette_chunk = 0x0011;
constexpr std::size_t palette_header_size = 20;  // size, first, last, reserved
constexpr std::uint32_t entry_has_name = 1;

bool recognise(const format_head& head) {
  return has_at(head.bytes, head.size, 4, "\xE0\xA5") &&
         has_at(head.bytes, head.size, header_size + 4, "\xFA\xF1");
}

// The older chunk: packets of a count of entries to skip, a count of
// colours (0 for 256) and the colours; kept in the colour table, in order,
// the skipped entries black.
step read_old_palette(reader_state& state, std::uint64_t chunk, bool six_bits) {
  std::uint32_t packets = 0;
  if (!read_little_endian(state.input, 2, packets)) {
    return invalid_at_byte(state, chunk, "the file ends inside a chunk");
  }
  state.expected = 0;
  for (std::uint32_t packet = 0; packet < packets; ++packet) {
    unsigned char counts[2];
    if (!read_bytes(state.input, counts, 2)) {
      return invalid_at_byte(state, chunk, "the file ends inside a chunk");
    }
    const unsigned count = counts[1] == 0 ? 256 : counts[1];
    if (state.expected + counts[0] + count > 256) {
      return invalid_at_byte(state, chunk, "more than 256 colours in an old palette chunk");
    }
    state.expected += counts[0];  // the table starts black
    unsigned char* colours = state.colour_table + 3 * state.expected;
    if (!read_bytes(state.input, colours, 3 * std::size_t{count})) {
      return invalid_at_byte(state, chunk, "the file ends inside a chunk");
    }
    for (unsigned i = 0; six_bits && i < 3 * count; ++i) {
      const unsigned value = colours[i] & 63u;
      colours[i] = static_cast<unsigned char>(value << 2 | value >> 4);
    }
    state.expected += count;
  }
  state.table_entry_size = 3;
  return step::ready;
}

step find_palette(reader_state& state) {
  unsigned char header[header_size];
  unsigned char frame[frame_header_size];
  if (!read_bytes(state.input, header, header_size) ||
      !read_bytes(state.input, frame, frame_header_size)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  const std::uint32_t frame_size = little_endian(frame, 4);
  if (frame_size < frame_header_size) {
    return invalid_at_byte(state, header_size, "a frame smaller than its header");
  }
  const std::uint64_t frame_end = header_size + std::uint64_t{frame_size};
  const std::uint32_t new_count = little_endian(frame + 12, 4);
  const std::uint32_t chunks = new_count != 0 ? new_count : little_endian(frame + 6, 2);
  bool old_palette = false;
  for (std::uint32_t i = 0; i < chunks; ++i) {
    const std::uint64_t chunk = offset_of_next_byte(state.input);
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    if (!read_little_endian(state.input, 4, size) || !read_little_endian(state.input, 2, type)) {
      return invalid_at_byte(state, chunk, "the file ends in a chunk header");
    }
    if (size < chunk_header_size || chunk + size > frame_end) {
      return invalid_at_byte(state, chunk, "a chunk size that does not fit its frame");
    }
    state.section_end = chunk + size;
    if (type == palette_chunk) {
      unsigned char palette[palette_header_size];
      if (!read_bytes(state.input, palette, palette_header_size)) {
        return invalid_at_byte(state, chunk, "the file ends inside a chunk");
      }
      const std::uint32_t first = little_endian(palette + 4, 4);
      const std::uint32_t last = little_endian(palette + 8, 4);
      if (last < first ||
          size < chunk_header_size + palette_header_size + 6 * (std::uint64_t{last} - first + 1)) {
        return invalid_at_byte(state, chunk + chunk_header_size + 4,
                               "colour indices that do not fit the chunk");
      }
      state.black_before_first = first;
      state.expected = last - first + 1;
      state.table_entry_size = 0;  // read from the chunk, one at a time
      return step::ready;
    }
    if ((type == old_palette_chunk || type == old_6_bit_palette_chunk) && !old_palette) {
      if (const step read = read_old_palette(state, chunk, type == old_6_bit_palette_chunk);
          read != step::ready) {
        return read;
      }
      old_palette = true;
    }
    const std::uint64_t at = offset_of_next_byte(state.input);
    if (at > state.section_end) {
      return invalid_at_byte(state, chunk, "a chunk larger than its size says");
    }
    if (!skip_bytes(state.input, state.section_end - at)) {
      return invalid_at_byte(state, chunk, "the file ends inside a chunk");
    }
  }
  return old_palette ? step::ready : step::no_palette;
}

step next_colour(reader_state& state, rgb& colour) {
  if (state.table_entry_size != 0) {
    return next_table_colour(state, colour, false);
  }
  if (all_given(state)) {
    return step::end;
  }
  const std::uint64_t entry = offset_of_next_byte(state.input);
  unsigned char bytes[6];  // flags, red, green, blue, alpha
  std::uint32_t name_length = 0;
  if (!read_bytes(state.input, bytes, sizeof bytes) ||
      ((little_endian(bytes, 2) & entry_has_name) != 0 &&
       (!read_little_endian(state.input, 2, name_length) ||
        !skip_bytes(state.input, name_length)))) {
    return invalid_at_byte(state, entry, "the file ends inside the palette");
  }
  if (offset_of_next_byte(state.input) > state.section_end) {
    return invalid_at_byte(state, entry, "a colour past the end of its chunk");
  }
  colour = {bytes[2], bytes[3], bytes[4]};
  ++state.given;
  return step::colour;
}

}  // namespace

extern const palette_format aseprite_format = {"Aseprite", "an Aseprite sprite", "Aseprite sprite",
                                               recognise,  find_palette,         next_colour,
                                               nullptr};

}  // namespace vexlo::detail
