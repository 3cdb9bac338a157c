// Photoshop swatches (.aco): a version 1 section (a version, a count, then
// per colour a colour space and four 16-bit values, big-endian), mostly
// followed by a version 2 section of the same colours with names; a file of
// a version 2 section alone is read too. RGB colours keep the top 8 bits of
// each channel.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr std::size_t entry_size = 10;  // space, four values
constexpr unsigned rgb_space = 0;
constexpr unsigned last_known_space = 10;
// In UTF-16 units. Photoshop's names are short; a longer length is no name.
constexpr std::uint32_t longest_name = 1024;

const char* space_name(unsigned space) {
  switch (space) {
    case 1:
      return "HSB";
    case 2:
      return "CMYK";
    case 7:
      return "Lab";
    case 8:
      return "greyscale";
    case 9:
      return "wide CMYK";
    default:
      return "an ink book colour";
  }
}

std::uint32_t word_at(const format_head& head, std::size_t at) {
  return big_endian(head.bytes + at, 2);
}

// The sections' layout as far as the first bytes show it: known colour
// spaces, and where the whole file is seen, nothing else after them. A
// file cut inside its entries, every space seen known, is a damaged one.
bool recognise(const format_head& head) {
  if (head.size < 4 || head.bytes[0] != 0 || (head.bytes[1] != 1 && head.bytes[1] != 2)) {
    return false;
  }
  const bool named = head.bytes[1] == 2;
  const std::uint32_t count = word_at(head, 2);
  std::size_t at = 4;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + entry_size + (named ? 4 : 0) > head.size) {
      return i > 0 && (at + 2 > head.size || word_at(head, at) <= last_known_space);
    }
    if (word_at(head, at) > last_known_space) {
      return false;
    }
    at += entry_size;
    if (named) {
      const std::uint32_t name_length = big_endian(head.bytes + at, 4);
      if (name_length > longest_name) {
        return false;
      }
      at += 4 + 2 * std::size_t{name_length};
    }
  }
  if (count == 0) {
    return false;
  }
  if (!named && at + 4 <= head.size) {
    return word_at(head, at) == 2 && word_at(head, at + 2) == count;
  }
  return !head.whole_input || at == head.size;
}

step read_header(reader_state& state) {
  std::uint32_t version = 0;
  std::uint32_t count = 0;
  if (!read_big_endian(state.input, 2, version) || !read_big_endian(state.input, 2, count)) {
    return invalid_at_byte(state, 0, "the file ends in its header");
  }
  state.version = version;  // 2: each colour has a name
  state.expected = count;
  return step::ready;
}

step next_colour(reader_state& state, rgb& colour) {
  if (all_given(state)) {  // the version 2 section repeats the colours
    return step::end;
  }
  const std::uint64_t entry = offset_of_next_byte(state.input);
  unsigned char values[entry_size];
  char name[32] = {};
  std::uint32_t name_length = 0;
  if (!read_bytes(state.input, values, entry_size) ||
      (state.version == 2 && !read_big_endian(state.input, 4, name_length))) {
    return invalid_at_byte(state, entry, "the file ends inside a colour");
  }
  if (!read_utf16_name(state.input, name_length, name)) {
    return invalid_at_byte(state, entry, "the file ends inside a colour's name");
  }
  ++state.given;
  const unsigned space = big_endian(values, 2);
  if (space != rgb_space) {
    return unsupported_entry(state, state.given, name, space_name(space));
  }
  colour = {values[2], values[4], values[6]};
  return step::colour;
}

}  // namespace

extern const palette_format photoshop_swatches_format = {"ACO",
                                                         "a Photoshop swatches file",
                                                         "Photoshop swatches file",
                                                         recognise,
                                                         read_header,
                                                         next_colour,
                                                         nullptr};

}  // namespace vexlo::detail
