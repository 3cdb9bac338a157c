// paint.net palettes: a first line "; paint.net Palette File", comments
// after ';', and one colour per line as 8 hex digits AARRGGBB.
#include "../reader_toolkit.h"

namespace vexlo::detail {
namespace {

bool recognise(const format_head& head) {
  return starts_with(head.text, head.text_size, "; paint.net Palette File");
}

step next_colour(reader_state& state, rgb& colour) {
  if (!next_line_with_content(state, ';')) {
    return step::end;
  }
  const std::size_t start = skip_blanks(state, 0);
  std::uint32_t value = 0;
  std::size_t at = start;
  for (; at < state.line_length && at - start < 8; ++at) {
    const int digit = hex_digit(state.line_text[at]);
    if (digit < 0) {
      break;
    }
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  if (at - start != 8 || !blank_from(state, at)) {
    return invalid_at_line(state, "not 8 hex digits AARRGGBB");
  }
  colour = {static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value)};
  return step::colour;
}

}  // namespace

extern const palette_format paint_net_format = {
    "paint.net", "a paint.net palette", "paint.net palette", recognise, nullptr, next_colour,
    nullptr};

}  // namespace vexlo::detail
