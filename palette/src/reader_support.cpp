// What the format readers share: the buffered input, text lines, numbers,
// reasons and the CRC that PNG chunks carry.
#include <array>
#include <cstring>

#include "palette_reader.h"

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

step next_table_colour(reader_state& state, rgb& colour, step (*read_table)(reader_state&),
                       bool blue_first) {
  if (!state.started) {
    state.started = true;
    const step header = read_table(state);
    if (header != step::colour) {
      return header;
    }
  }
  if (state.given == state.expected) {
    read_to_end(state.input);
    return step::end;
  }
  const unsigned char* entry = state.table + state.entry_size * state.given++;
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

bool next_line(reader_state& state, std::size_t& length) {
  byte_source& input = state.input;
  length = 0;
  if (input.position == input.filled && !refill(input)) {
    return false;
  }
  ++state.line;
  state.line_cut = false;
  // A UTF-8 byte order mark before the first line is no part of it.
  if (input.offset == 0 && input.position == 0 &&
      starts_with(input.buffer, input.filled, "\xEF\xBB\xBF")) {
    input.position = 3;
  }
  for (;;) {
    const unsigned char* start = input.buffer + input.position;
    const std::size_t available = input.filled - input.position;
    const void* found = std::memchr(start, '\n', available);
    const std::size_t part =
        found != nullptr
            ? static_cast<std::size_t>(static_cast<const unsigned char*>(found) - start)
            : available;
    const std::size_t kept =
        part < sizeof state.table - length ? part : sizeof state.table - length;
    std::memcpy(state.table + length, start, kept);
    length += kept;
    state.line_cut = state.line_cut || kept < part;
    input.position += part;
    if (found != nullptr) {
      ++input.position;
      break;
    }
    if (!refill(input)) {
      break;
    }
  }
  if (length > 0 && state.table[length - 1] == '\r') {
    --length;
  }
  return true;
}

namespace {
bool is_space(unsigned char c) { return c == ' ' || c == '\t'; }
}  // namespace

int read_numbers(const unsigned char* line, std::size_t length, unsigned* numbers, int most,
                 std::size_t& rest) {
  std::size_t at = 0;
  int count = 0;
  while (count < most) {
    std::size_t start = at;
    while (start < length && is_space(line[start])) {
      ++start;
    }
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
  rest = at;
  while (rest < length && is_space(line[rest])) {
    ++rest;
  }
  return count;
}

bool is_blank(const unsigned char* line, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (!is_space(line[i])) {
      return false;
    }
  }
  return true;
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
