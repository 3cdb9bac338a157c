// Hex lists (.hex), as palette sites hand them out: one colour per line as
// 6 hex digits RRGGBB. Only an input whose every line is one is taken for a
// list, so its whole text must be in the first bytes read.
#include "palette_reader.h"

namespace vexlo::detail {
namespace {

// Every line 6 hex digits, then LF or CR LF; the last line end optional.
// Stops at the first byte that breaks the pattern.
bool recognise(const unsigned char* head, std::size_t size, bool whole_input) {
  if (!whole_input || size == 0) {
    return false;
  }
  std::size_t column = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = head[i];
    if (column < 6) {
      if (hex_digit(c) < 0) {
        return false;
      }
      ++column;
    } else if (c == '\n') {
      column = 0;
    } else if (c != '\r' || column != 6 || i + 1 == size || head[i + 1] != '\n') {
      return false;
    }
  }
  return column == 0 || column == 6;
}

// Every line was checked when the format was recognised.
step next_colour(reader_state& state, rgb& colour) {
  std::size_t length = 0;
  if (!next_line(state, length)) {
    return step::end;
  }
  const unsigned char* line = state.table;
  const auto byte_at = [line](int i) {
    return static_cast<unsigned char>(hex_digit(line[i]) << 4 | hex_digit(line[i + 1]));
  };
  colour = {byte_at(0), byte_at(2), byte_at(4)};
  return step::colour;
}

}  // namespace

const palette_format hex_list_format = {"a hex list", "hex list", recognise, next_colour};

}  // namespace vexlo::detail
