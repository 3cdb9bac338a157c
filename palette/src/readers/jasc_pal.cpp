// JASC-PAL, the text palette of Paint Shop Pro, also written by Aseprite,
// GraphicsGale, IrfanView and Usenti: "JASC-PAL", "0100", a count, then one
// line of red, green, blue (and an ignored alpha) per colour.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

bool recognise(const format_head& head) {
  return starts_with(head.text, head.text_size, "JASC-PAL");
}

step read_header(reader_state& state) {
  if (!next_line(state) || !line_is(state, "JASC-PAL")) {
    return invalid_at_line(state, "the first line is not JASC-PAL");
  }
  if (!next_line(state) || !line_is(state, "0100")) {
    return invalid_at_line(state, "the version is not 0100");
  }
  // Up to nine digits, so that the count cannot overflow.
  const bool got_line = next_line(state);
  const std::size_t digits_start = skip_blanks(state, 0);
  std::size_t at = digits_start;
  unsigned long count = 0;
  while (at < state.line_length && at - digits_start < 10 && state.line_text[at] >= '0' &&
         state.line_text[at] <= '9') {
    count = count * 10 + static_cast<unsigned long>(state.line_text[at++] - '0');
  }
  if (!got_line || at == digits_start || at - digits_start > 9 || !blank_from(state, at)) {
    return invalid_at_line(state, "the colour count is not a number");
  }
  state.expected = count;
  return step::ready;
}

step next_colour(reader_state& state, rgb& colour) {
  if (state.given == state.expected) {
    // Only blank lines may follow the counted colours.
    if (next_line_with_content(state, 0)) {
      return invalid_at_line(state, "more colour lines than the count says");
    }
    return step::end;
  }
  if (!next_line(state)) {
    return invalid_at_line(state, "the file ends before the count of colours");
  }
  unsigned numbers[4];
  std::size_t rest = 0;
  const int count = read_numbers(state, numbers, 4, rest);
  if (count < 0) {
    return invalid_at_line(state, "a number over 255");
  }
  if (count < 3 || rest != state.line_length || state.line_cut) {
    return invalid_at_line(state, "not three or four numbers");
  }
  colour = {static_cast<unsigned char>(numbers[0]), static_cast<unsigned char>(numbers[1]),
            static_cast<unsigned char>(numbers[2])};
  ++state.given;
  return step::colour;
}

}  // namespace

extern const palette_format jasc_pal_format = {"JASC-PAL", "a JASC-PAL palette", "JASC-PAL palette",
                                               recognise,  read_header,          next_colour,
                                               nullptr};

}  // namespace vexlo::detail
