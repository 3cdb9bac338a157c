// paint.net palettes: a first line "; paint.net Palette File", comments
// after ';', and one colour per line as 8 hex digits AARRGGBB.
#include "palette_reader.h"

namespace vexlo::detail {
namespace {

bool recognise(const unsigned char* head, std::size_t size, bool /*whole_input*/) {
  return text_starts_with(head, size, "; paint.net Palette File");
}

step next_colour(reader_state& state, rgb& colour) {
  std::size_t length = 0;
  const unsigned char* line = state.table;
  std::size_t start = 0;
  do {
    if (!next_line(state, length)) {
      return step::end;
    }
    start = 0;
    while (start < length && (line[start] == ' ' || line[start] == '\t')) {
      ++start;
    }
  } while (start == length || line[start] == ';');
  std::size_t end = length;
  while (end > start && (line[end - 1] == ' ' || line[end - 1] == '\t')) {
    --end;
  }
  unsigned value = 0;
  for (std::size_t i = start; i < end && end - start == 8; ++i) {
    const int digit = hex_digit(line[i]);
    if (digit < 0) {
      break;
    }
    value = value << 4 | static_cast<unsigned>(digit);
    if (i + 1 == end) {
      colour = {static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 8),
                static_cast<unsigned char>(value)};
      return step::colour;
    }
  }
  return invalid_at_line(state, "not 8 hex digits AARRGGBB");
}

}  // namespace

const palette_format paint_net_format = {"a paint.net palette", "paint.net palette", recognise,
                                         next_colour};

}  // namespace vexlo::detail
