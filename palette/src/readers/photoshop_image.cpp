// Photoshop images (.psd, .psb): a 26-byte header ("8BPS", version 1 or 2,
// the colour mode at byte 24), then the colour mode data, which for an
// indexed image is 768 bytes (256 reds, 256 greens, 256 blues), then image
// resources, among them 1046, the count of colours the table holds.
// Big-endian.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t header_size = 26;
constexpr std::size_t colour_mode_at = 24;
constexpr unsigned indexed_mode = 2;
constexpr std::uint32_t table_size = 768;
constexpr std::uint32_t colour_count_resource = 1046;

bool recognise(const format_head& head) {
  return starts_with(head.bytes, head.size, "8BPS") &&
         (has_at(head.bytes, head.size, 4, "\0\1") || has_at(head.bytes, head.size, 4, "\0\2"));
}

// The resources up to the one that counts the colours, if any.
step read_colour_count(reader_state& state) {
  std::uint32_t length = 0;
  if (!read_big_endian(state.input, 4, length)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  const std::uint64_t end = offset_of_next_byte(state.input) + length;
  while (offset_of_next_byte(state.input) < end) {
    const std::uint64_t block = offset_of_next_byte(state.input);
    unsigned char signature[4];
    std::uint32_t id = 0;
    std::uint32_t name_length = 0;
    std::uint32_t size = 0;
    if (!read_bytes(state.input, signature, 4) || !read_big_endian(state.input, 2, id) ||
        !read_big_endian(state.input, 1, name_length) ||
        !skip_bytes(state.input, name_length + (name_length + 1) % 2) ||
        !read_big_endian(state.input, 4, size)) {
      return invalid_at_byte(state, block, "the file ends inside an image resource");
    }
    if (std::memcmp(signature, "8BIM", 4) != 0) {
      return invalid_at_byte(state, block, "an image resource without its signature");
    }
    if (id == colour_count_resource && size >= 2) {
      std::uint32_t count = 0;
      if (!read_big_endian(state.input, 2, count)) {
        return invalid_at_byte(state, block, "the file ends inside an image resource");
      }
      if (count == 0 || count > 256) {
        return invalid_at_byte(state, block, "a colour count other than 1 to 256");
      }
      state.expected = count;
      return step::ready;
    }
    if (!skip_bytes(state.input, std::uint64_t{size} + size % 2)) {
      return invalid_at_byte(state, block, "the file ends inside an image resource");
    }
  }
  return step::ready;
}

step read_table(reader_state& state) {
  unsigned char header[header_size];
  std::uint32_t length = 0;
  if (!read_bytes(state.input, header, header_size) || !read_big_endian(state.input, 4, length)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  if (big_endian(header + colour_mode_at, 2) != indexed_mode) {
    return step::no_palette;
  }
  unsigned char planes[table_size];
  if (length != table_size) {
    return invalid_at_byte(state, header_size, "a colour table other than 768 bytes");
  }
  if (!read_bytes(state.input, planes, table_size)) {
    return invalid_at_byte(state, header_size + 4, "the file ends inside its palette");
  }
  for (std::size_t i = 0; i < 256; ++i) {
    state.colour_table[3 * i] = planes[i];
    state.colour_table[3 * i + 1] = planes[256 + i];
    state.colour_table[3 * i + 2] = planes[512 + i];
  }
  state.table_entry_size = 3;
  state.expected = 256;
  return read_colour_count(state);
}

step next_colour(reader_state& state, rgb& colour) {
  return next_table_colour(state, colour, false);
}

}  // namespace

extern const palette_format photoshop_image_format = {
    "PSD", "a PSD image", "PSD image", recognise, read_table, next_colour, nullptr};

}  // namespace vexlo::detail
