// GIMP palettes (.gpl), also written by Krita, Inkscape and Aseprite:
// "GIMP Palette", then Name:, Columns: and Channels: lines, # comments, and
// one line of red, green and blue per colour (and alpha, after "Channels:
// RGBA"), each followed by an optional name.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

bool recognise(const format_head& head) {
  return starts_with(head.text, head.text_size, "GIMP Palette");
}

step read_header(reader_state& state) {
  if (!next_line(state) || !line_is(state, "GIMP Palette")) {
    return invalid_at_line(state, "the first line is not GIMP Palette");
  }
  state.numbers_per_colour = 3;
  return step::ready;
}

template <std::size_t text_size>
bool line_starts_with(const reader_state& state, const char (&text)[text_size]) {
  return starts_with(state.line_text, state.line_length, text);
}

step next_colour(reader_state& state, rgb& colour) {
  for (;;) {
    if (!next_line_with_content(state, '#')) {
      return step::end;
    }
    if (line_starts_with(state, "Channels:")) {
      const std::size_t at = skip_blanks(state, sizeof "Channels:" - 1);
      const bool alpha = has_at(state.line_text, state.line_length, at, "RGBA");
      const bool rgb = has_at(state.line_text, state.line_length, at, "RGB");
      if (!rgb || !blank_from(state, at + (alpha ? 4 : 3))) {
        return invalid_at_line(state, "channels other than RGB or RGBA");
      }
      state.numbers_per_colour = alpha ? 4 : 3;
    } else if (!line_starts_with(state, "Name:") && !line_starts_with(state, "Columns:")) {
      break;
    }
  }
  unsigned numbers[4];
  std::size_t rest = 0;
  const int most = static_cast<int>(state.numbers_per_colour);
  const int count = read_numbers(state, numbers, most, rest);
  if (count < 0) {
    return invalid_at_line(state, "a number over 255");
  }
  if (count < most) {
    return invalid_at_line(state, most == 3 ? "not three numbers" : "not four numbers");
  }
  colour = {static_cast<unsigned char>(numbers[0]), static_cast<unsigned char>(numbers[1]),
            static_cast<unsigned char>(numbers[2])};
  return step::colour;
}

}  // namespace

extern const palette_format gimp_format = {"GIMP",      "a GIMP palette", "GIMP palette", recognise,
                                           read_header, next_colour,      nullptr};

}  // namespace vexlo::detail
