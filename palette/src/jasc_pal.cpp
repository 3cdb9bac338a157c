// JASC-PAL, the text palette of Paint Shop Pro, also written by Aseprite,
// GraphicsGale, IrfanView and Usenti: "JASC-PAL", "0100", a count, then one
// line of red, green, blue (and an ignored alpha) per colour.
#include <cstring>

#include "palette_reader.h"

namespace vexlo::detail {
namespace {

bool recognise(const unsigned char* head, std::size_t size, bool /*whole_input*/) {
  return text_starts_with(head, size, "JASC-PAL");
}

template <std::size_t text_size>
bool line_is(const reader_state& state, std::size_t length, const char (&text)[text_size]) {
  return starts_with(state.table, length, text) &&
         is_blank(state.table + text_size - 1, length - (text_size - 1));
}

step read_header(reader_state& state) {
  std::size_t length = 0;
  if (!next_line(state, length) || !line_is(state, length, "JASC-PAL")) {
    return invalid_at_line(state, "the first line is not JASC-PAL");
  }
  if (!next_line(state, length) || !line_is(state, length, "0100")) {
    return invalid_at_line(state, "the version is not 0100");
  }
  // Up to nine digits, so that the count cannot overflow.
  std::size_t at = 0;
  unsigned long count = 0;
  const bool got_line = next_line(state, length);
  while (at < length && (state.table[at] == ' ' || state.table[at] == '\t')) {
    ++at;
  }
  const std::size_t digits_start = at;
  while (at < length && at - digits_start < 10 && state.table[at] >= '0' &&
         state.table[at] <= '9') {
    count = count * 10 + static_cast<unsigned long>(state.table[at++] - '0');
  }
  if (!got_line || at == digits_start || at - digits_start > 9 ||
      !is_blank(state.table + at, length - at)) {
    return invalid_at_line(state, "the colour count is not a number");
  }
  state.expected = count;
  state.started = true;
  return step::colour;
}

step next_colour(reader_state& state, rgb& colour) {
  if (!state.started && read_header(state) == step::invalid) {
    return step::invalid;
  }
  std::size_t length = 0;
  if (state.given == state.expected) {
    // Only blank lines may follow the counted colours.
    while (next_line(state, length)) {
      if (!is_blank(state.table, length)) {
        return invalid_at_line(state, "more colour lines than the count says");
      }
    }
    return step::end;
  }
  if (!next_line(state, length)) {
    ++state.line;
    return invalid_at_line(state, "the file ends before the count of colours");
  }
  unsigned numbers[4];
  std::size_t rest = 0;
  const int count = read_numbers(state.table, length, numbers, 4, rest);
  if (count < 0) {
    return invalid_at_line(state, "a number over 255");
  }
  if (count < 3 || rest != length || state.line_cut) {
    return invalid_at_line(state, "not three or four numbers");
  }
  colour = {static_cast<unsigned char>(numbers[0]), static_cast<unsigned char>(numbers[1]),
            static_cast<unsigned char>(numbers[2])};
  ++state.given;
  return step::colour;
}

}  // namespace

const palette_format jasc_pal_format = {"a JASC-PAL palette", "JASC-PAL palette", recognise,
                                        next_colour};

}  // namespace vexlo::detail
