// GIMP palettes (.gpl), also written by Krita and Inkscape: "GIMP Palette",
// then Name: and Columns: lines, # comments, and one line of red, green and
// blue per colour, each followed by an optional name.
#include <cstring>

#include "palette_reader.h"

namespace vexlo::detail {
namespace {

bool recognise(const unsigned char* head, std::size_t size, bool /*whole_input*/) {
  return text_starts_with(head, size, "GIMP Palette");
}

bool is_skipped(const unsigned char* line, std::size_t length) {
  std::size_t at = 0;
  while (at < length && (line[at] == ' ' || line[at] == '\t')) {
    ++at;
  }
  return at == length || line[at] == '#' || starts_with(line, length, "Name:") ||
         starts_with(line, length, "Columns:");
}

step next_colour(reader_state& state, rgb& colour) {
  std::size_t length = 0;
  if (!state.started) {
    state.started = true;
    if (!next_line(state, length) || !starts_with(state.table, length, "GIMP Palette") ||
        !is_blank(state.table + 12, length - 12)) {
      return invalid_at_line(state, "the first line is not GIMP Palette");
    }
  }
  do {
    if (!next_line(state, length)) {
      return step::end;
    }
  } while (is_skipped(state.table, length));
  unsigned numbers[3];
  std::size_t rest = 0;
  const int count = read_numbers(state.table, length, numbers, 3, rest);
  if (count < 0) {
    return invalid_at_line(state, "a number over 255");
  }
  if (count < 3) {
    return invalid_at_line(state, "not three numbers");
  }
  colour = {static_cast<unsigned char>(numbers[0]), static_cast<unsigned char>(numbers[1]),
            static_cast<unsigned char>(numbers[2])};
  return step::colour;
}

}  // namespace

const palette_format gimp_format = {"a GIMP palette", "GIMP palette", recognise, next_colour};

}  // namespace vexlo::detail
