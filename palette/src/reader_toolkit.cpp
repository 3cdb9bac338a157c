// What the format readers share: the buffered input, text lines, numbers,
// reasons and the CRC that PNG chunks carry.
#include "reader_toolkit.h"

#include <array>
#include <cstring>

namespace vexlo::detail {

bool refill(byte_source& source) {
  source.offset += source.filled;
  source.position = 0;
  source.filled = std::fread(source.buffer, 1, source.capacity, source.stream);
  return source.filled > 0;
}

bool read_bytes(byte_source& source, unsigned char* bytes, std::size_t size) {
  while (size > 0) {
    if (source.position == source.filled && !refill(source)) {
      return false;
    }
    std::size_t part = source.filled - source.position;
    part = part < size ? part : size;
    std::memcpy(bytes, source.buffer + source.position, part);
    source.position += part;
    bytes += part;
    size -= part;
  }
  return true;
}

bool skip_bytes(byte_source& source, std::uint64_t size) {
  while (size > 0) {
    if (source.position == source.filled && !refill(source)) {
      return false;
    }
    const std::uint64_t available = source.filled - source.position;
    const std::uint64_t part = available < size ? available : size;
    source.position += static_cast<std::size_t>(part);
    size -= part;
  }
  return true;
}

void read_to_end(byte_source& source) {
  source.position = source.filled;
  while (refill(source)) {
    source.position = source.filled;
  }
}

bool all_given(reader_state& state) {
  if (state.given < state.expected) {
    return false;
  }
  read_to_end(state.input);
  return true;
}

bool read_utf16_name(byte_source& source, std::uint32_t length, char (&name)[32]) {
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint32_t unit = 0;
    if (!read_big_endian(source, 2, unit)) {
      return false;
    }
    if (i + 1 < sizeof name && unit != 0) {
      name[i] = unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
  }
  return true;
}

step next_table_colour(reader_state& state, rgb& colour, bool blue_first) {
  if (all_given(state)) {
    return step::end;
  }
  const unsigned char* entry = state.colour_table + state.table_entry_size * state.given++;
  colour = blue_first ? rgb{entry[2], entry[1], entry[0]} : rgb{entry[0], entry[1], entry[2]};
  return step::colour;
}

step invalid_at_line(reader_state& state, const char* what) {
  (void)std::snprintf(state.reason, sizeof state.reason, "line %lu: %s", state.line, what);
  return step::invalid;
}

step invalid_at_byte(reader_state& state, std::uint64_t offset, const char* what) {
  (void)std::snprintf(state.reason, sizeof state.reason, "byte %llu: %s",
                      static_cast<unsigned long long>(offset), what);
  return step::invalid;
}

step unsupported_entry(reader_state& state, unsigned long entry, const char* name,
                       const char* space) {
  (void)std::snprintf(state.reason, sizeof state.reason, "entry %lu%s%s%s is %s", entry,
                      *name != '\0' ? " \"" : "", name, *name != '\0' ? "\"" : "", space);
  return step::unsupported;
}

bool read_big_endian(byte_source& source, int size, std::uint32_t& value) {
  unsigned char bytes[4];
  if (size < 1 || size > 4 || !read_bytes(source, bytes, static_cast<std::size_t>(size))) {
    return false;
  }
  value = big_endian(bytes, size);
  return true;
}

bool read_little_endian(byte_source& source, int size, std::uint32_t& value) {
  unsigned char bytes[4];
  if (size < 1 || size > 4 || !read_bytes(source, bytes, static_cast<std::size_t>(size))) {
    return false;
  }
  value = little_endian(bytes, size);
  return true;
}

namespace {

void keep_in_line(reader_state& state, const unsigned char* bytes, std::size_t size) {
  const std::size_t room = sizeof state.line_text - state.line_length;
  const std::size_t kept = size < room ? size : room;
  std::memcpy(state.line_text + state.line_length, bytes, kept);
  state.line_length += kept;
  state.line_cut = state.line_cut || kept < size;
}

// UTF-16 one code unit at a time: text files of this kind are small.
bool next_utf16_line(reader_state& state) {
  bool any = false;
  for (;;) {
    const int first = next_byte(state.input);
    const int second = first < 0 ? -1 : next_byte(state.input);
    if (second < 0) {
      return any;  // a lone last byte is no character
    }
    const unsigned char pair[2] = {static_cast<unsigned char>(first),
                                   static_cast<unsigned char>(second)};
    const unsigned unit = utf16_unit(pair, state.encoding);
    const bool after_carriage_return = state.after_carriage_return;
    state.after_carriage_return = false;
    if ((unit == 0xFEFF && offset_of_next_byte(state.input) == 2) ||
        (unit == '\n' && after_carriage_return)) {
      continue;
    }
    any = true;
    if (unit == '\n' || unit == '\r') {
      state.after_carriage_return = unit == '\r';
      return true;
    }
    const unsigned char byte = byte_of_unit(unit);
    keep_in_line(state, &byte, 1);
  }
}

// Where the first LF or CR is, or `size`: eight bytes at a time, where a
// word with no byte under 14 holds neither.
std::size_t line_end_in(const unsigned char* bytes, std::size_t size) {
  constexpr std::uint64_t ones = 0x0101010101010101u;
  std::size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + at, 8);
    if (((word - ones * 14) & ~word & ones * 0x80) != 0) {
      break;
    }
  }
  while (at < size && bytes[at] != '\n' && bytes[at] != '\r') {
    ++at;
  }
  return at;
}

}  // namespace

bool next_line(reader_state& state) {
  ++state.line;
  state.line_length = 0;
  state.line_cut = false;
  if (state.encoding != text_encoding::utf8) {
    return next_utf16_line(state);
  }
  byte_source& input = state.input;
  if (input.position == input.filled && !refill(input)) {
    return false;
  }
  if (input.offset == 0 && input.position == 0 &&
      starts_with(input.buffer, input.filled, "\xEF\xBB\xBF")) {
    input.position = 3;
  }
  if (state.after_carriage_return) {
    state.after_carriage_return = false;
    // The LF of a CR LF pair ends no line of its own.
    if (input.position < input.filled && input.buffer[input.position] == '\n') {
      ++input.position;
    }
    if (input.position == input.filled && !refill(input)) {
      return false;
    }
  }
  for (;;) {
    const unsigned char* start = input.buffer + input.position;
    const std::size_t available = input.filled - input.position;
    const std::size_t part = line_end_in(start, available);
    keep_in_line(state, start, part);
    input.position += part;
    if (part < available) {
      state.after_carriage_return = start[part] == '\r';
      ++input.position;
      return true;
    }
    if (!refill(input)) {
      return true;
    }
  }
}

bool next_line_with_content(reader_state& state, unsigned char comment) {
  while (next_line(state)) {
    const std::size_t at = skip_blanks(state, 0);
    if (at < state.line_length && (comment == 0 || state.line_text[at] != comment)) {
      return true;
    }
  }
  return false;
}

namespace {
bool is_space(unsigned char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::size_t skip_blanks(const reader_state& state, std::size_t at) {
  while (at < state.line_length && is_space(state.line_text[at])) {
    ++at;
  }
  return at;
}

int read_numbers(const reader_state& state, unsigned* numbers, int most, std::size_t& rest) {
  const unsigned char* line = state.line_text;
  const std::size_t length = state.line_length;
  std::size_t at = 0;
  int count = 0;
  while (count < most) {
    const std::size_t start = skip_blanks(state, at);
    std::size_t end = start;
    unsigned value = 0;
    while (end < length && line[end] >= '0' && line[end] <= '9') {
      value = value * 10 + static_cast<unsigned>(line[end] - '0');
      if (value > 255) {
        return -1;
      }
      ++end;
    }
    // A number ends at a space, a tab or the line's end.
    if (end == start || (end < length && !is_space(line[end]))) {
      break;
    }
    numbers[count++] = value;
    at = end;
  }
  rest = skip_blanks(state, at);
  return count;
}

int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

namespace {
constexpr std::array<std::uint32_t, 256> crc_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) {
      c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> crc_of_byte = crc_table();
}  // namespace

std::uint32_t crc32(const unsigned char* bytes, std::size_t size, std::uint32_t crc) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc = crc_of_byte[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
  }
  return ~crc;
}

}  // namespace vexlo::detail
