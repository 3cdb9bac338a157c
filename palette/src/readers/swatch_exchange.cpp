// Adobe swatch exchange files (.ase), as Lospec and Adobe's programs write
// them: "ASEF", version 1.0, a count of blocks, then blocks, big-endian.
// Colour entries in RGB or Gray give a colour each, every channel the
// nearest 8-bit value to v x 255; group blocks are skipped.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::uint32_t colour_entry = 0x0001;
constexpr std::size_t header_size = 12;  // signature, version, block count

bool recognise(const format_head& head) { return starts_with(head.bytes, head.size, "ASEF"); }

step read_header(reader_state& state) {
  unsigned char header[header_size];
  if (!read_bytes(state.input, header, header_size)) {
    return invalid_at_byte(state, offset_of_next_byte(state.input), "the file ends in its header");
  }
  if (big_endian(header + 4, 2) != 1) {
    return invalid_at_byte(state, 4, "a version other than 1");
  }
  state.expected = big_endian(header + 8, 4);  // blocks
  return step::ready;
}

// A 32-bit big-endian float as the nearest of 0 to 255, clamped.
unsigned char channel(const unsigned char* bytes) {
  const std::uint32_t bits = big_endian(bytes, 4);
  float value = 0;
  static_assert(sizeof value == sizeof bits, "32-bit floats");
  std::memcpy(&value, &bits, sizeof value);
  if (!(value > 0)) {  // NaN too
    return 0;
  }
  // Halves round up: (2 v 255 + 1) / 2, rounded down; exact in a double,
  // where a float rounds values just under a half up.
  return value >= 1 ? 255
                    : static_cast<unsigned char>(
                          static_cast<unsigned>(static_cast<double>(value) * 510 + 1) / 2);
}

step next_colour(reader_state& state, rgb& colour) {
  for (; state.given < state.expected; ++state.given) {
    const std::uint64_t block = offset_of_next_byte(state.input);
    std::uint32_t type = 0;
    std::uint32_t length = 0;
    if (!read_big_endian(state.input, 2, type) || !read_big_endian(state.input, 4, length)) {
      return invalid_at_byte(state, block, "the file ends inside a block");
    }
    const std::uint64_t end = offset_of_next_byte(state.input) + length;
    if (type != colour_entry) {
      if (!skip_bytes(state.input, length)) {
        return invalid_at_byte(state, block, "the file ends inside a block");
      }
      continue;
    }
    // The name, UTF-16 with its terminator, kept as ASCII for messages.
    std::uint32_t name_length = 0;
    char name[32] = {};
    if (!read_big_endian(state.input, 2, name_length) ||
        !read_utf16_name(state.input, name_length, name)) {
      return invalid_at_byte(state, block, "the file ends inside a block");
    }
    unsigned char model[4];
    unsigned char values[12];
    if (!read_bytes(state.input, model, 4)) {
      return invalid_at_byte(state, block, "the file ends inside a block");
    }
    const bool rgb_model = std::memcmp(model, "RGB ", 4) == 0;
    const bool gray_model = std::memcmp(model, "Gray", 4) == 0;
    if (!rgb_model && !gray_model) {
      const bool cmyk = std::memcmp(model, "CMYK", 4) == 0;
      const bool lab = std::memcmp(model, "LAB ", 4) == 0;
      if (!cmyk && !lab) {
        return invalid_at_byte(state, block, "an unknown colour model");
      }
      return unsupported_entry(state, state.given + 1, name, cmyk ? "CMYK" : "LAB");
    }
    const std::size_t size = rgb_model ? 12 : 4;
    if (!read_bytes(state.input, values, size) || offset_of_next_byte(state.input) + 2 != end ||
        !skip_bytes(state.input, 2)) {
      return invalid_at_byte(state, block, "a colour block of the wrong length");
    }
    colour = rgb_model ? rgb{channel(values), channel(values + 4), channel(values + 8)}
                       : rgb{channel(values), channel(values), channel(values)};
    ++state.given;
    return step::colour;
  }
  read_to_end(state.input);
  return step::end;
}

}  // namespace

extern const palette_format swatch_exchange_format = {"ASE",
                                                      "an Adobe swatch exchange file",
                                                      "Adobe swatch exchange file",
                                                      recognise,
                                                      read_header,
                                                      next_colour,
                                                      nullptr};

}  // namespace vexlo::detail
