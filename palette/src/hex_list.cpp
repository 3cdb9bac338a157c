// Hex lists (.hex), as palette sites hand them out: one colour per line as
// 6 hex digits RRGGBB. Only an input whose every line is one is taken for a
// list, so its whole text must be in the first bytes read.
#include "palette_reader.h"

namespace vexlo::detail {
namespace {

bool is_colour_line(const unsigned char* line, std::size_t length) {
  if (length == 7 && line[6] == '\r') {
    length = 6;
  }
  if (length != 6) {
    return false;
  }
  for (std::size_t i = 0; i < 6; ++i) {
    if (hex_digit(line[i]) < 0) {
      return false;
    }
  }
  return true;
}

bool recognise(const unsigned char* head, std::size_t size, bool whole_input) {
  if (!whole_input || size == 0) {
    return false;
  }
  std::size_t start = 0;
  while (start < size) {
    std::size_t end = start;
    while (end < size && head[end] != '\n') {
      ++end;
    }
    if (!is_colour_line(head + start, end - start)) {
      return false;
    }
    start = end + 1;
  }
  return true;
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
