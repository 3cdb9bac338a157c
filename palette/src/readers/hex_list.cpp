// Hex lists (.hex), as palette sites hand them out: one colour per line as
// 6 hex digits RRGGBB, with or without a '#' before them. Blank lines and
// blanks around a colour are skipped. Recognised by its first line that is
// not blank.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }
bool is_line_end(unsigned char c) { return c == '\n' || c == '\r'; }

// Where the colour of a line that starts at `at` ends, or 0 where it has none.
std::size_t colour_end(const unsigned char* text, std::size_t size, std::size_t at) {
  at += at < size && text[at] == '#' ? 1 : 0;
  const std::size_t digits = at;
  while (at < size && at - digits < 6 && hex_digit(text[at]) >= 0) {
    ++at;
  }
  return at - digits == 6 ? at : 0;
}

bool recognise(const format_head& head) {
  const unsigned char* text = head.text;
  const std::size_t size = head.text_size;
  std::size_t at = 0;
  while (at < size && (is_blank(text[at]) || is_line_end(text[at]))) {
    ++at;
  }
  at = colour_end(text, size, at);
  if (at == 0) {
    return false;
  }
  while (at < size && is_blank(text[at])) {
    ++at;
  }
  // Cut by the first read, the line is judged when read.
  return at == size || is_line_end(text[at]);
}

step next_colour(reader_state& state, rgb& colour) {
  if (!next_line_with_content(state, 0)) {
    return step::end;
  }
  const std::size_t start = skip_blanks(state, 0);
  const std::size_t end = colour_end(state.line_text, state.line_length, start);
  if (end == 0 || !blank_from(state, end) || state.line_cut) {
    return invalid_at_line(state, "not a colour RRGGBB");
  }
  const unsigned char* digits = state.line_text + end - 6;
  const auto byte_at = [digits](int i) {
    return static_cast<unsigned char>(hex_digit(digits[i]) << 4 | hex_digit(digits[i + 1]));
  };
  colour = {byte_at(0), byte_at(2), byte_at(4)};
  return step::colour;
}

}  // namespace

extern const palette_format hex_list_format = {"hex list", "a hex list", "hex list", recognise,
                                               nullptr,    next_colour,  nullptr};

}  // namespace vexlo::detail
