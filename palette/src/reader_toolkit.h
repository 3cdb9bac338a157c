// What the readers share: the byte source, big and little-endian numbers,
// text lines and numbers on them, the reasons a file is refused, and CRC-32.
#ifndef VEXLO_READER_TOOLKIT_H
#define VEXLO_READER_TOOLKIT_H

#include <cstring>

#include "palette_reader.h"

namespace vexlo::detail {

// Refills an emptied buffer; false at the end of the input or when reading
// failed (ferror on the stream tells which).
bool refill(byte_source& source);
// The next byte, or -1 where refill fails.
inline int next_byte(byte_source& source) {
  if (source.position == source.filled && !refill(source)) {
    return -1;
  }
  return source.buffer[source.position++];
}
// Reads `size` bytes; false if the input ended first.
bool read_bytes(byte_source& source, unsigned char* bytes, std::size_t size);
bool skip_bytes(byte_source& source, std::uint64_t size);
// Reads the rest, so that a program writing into a pipe is never cut off.
void read_to_end(byte_source& source);
inline std::uint64_t offset_of_next_byte(const byte_source& source) {
  return source.offset + source.position;
}

// Sets the reason, "line N: ..." or "byte N: ...", and returns step::invalid.
step invalid_at_line(reader_state& state, const char* what);
step invalid_at_byte(reader_state& state, std::uint64_t offset, const char* what);
// Sets the reason "entry N [NAME] is SPACE" and returns step::unsupported.
step unsupported_entry(reader_state& state, unsigned long entry, const char* name,
                       const char* space);
// Whether every colour the file announces was given; if so, reads the rest
// of the input, so that the reader can end.
bool all_given(reader_state& state);
// Reads a name of `length` UTF-16 big-endian code units, and keeps what
// fits in `name` as ASCII ('?' for other characters); false if the input
// ended first.
bool read_utf16_name(byte_source& source, std::uint32_t length, char (&name)[32]);
// Reads a big-endian number of `size` bytes; false if the input ended first.
bool read_big_endian(byte_source& source, int size, std::uint32_t& value);
bool read_little_endian(byte_source& source, int size, std::uint32_t& value);

// Image formats keep their colour table in state.colour_table: `expected`
// entries of `table_entry_size` bytes, red, green, blue or (with `blue_first`) the
// other way round. Gives them in order; after the last, reads the rest of
// the input.
step next_table_colour(reader_state& state, rgb& colour, bool blue_first);

// A UTF-16 code unit from its two bytes, in the text's byte order.
inline unsigned utf16_unit(const unsigned char* bytes, text_encoding encoding) {
  return encoding == text_encoding::utf16_little ? unsigned{bytes[0]} | unsigned{bytes[1]} << 8
                                                 : unsigned{bytes[0]} << 8 | bytes[1];
}
// The byte a UTF-16 unit reaches the readers as: itself in ASCII, else 0x80.
inline unsigned char byte_of_unit(unsigned unit) {
  return unit < 0x80 ? static_cast<unsigned char>(unit) : 0x80;
}

inline std::uint32_t little_endian(const unsigned char* bytes, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | bytes[i];
  }
  return value;
}
inline std::uint32_t big_endian(const unsigned char* bytes, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) {
    value = value << 8 | bytes[i];
  }
  return value;
}

// Whether `bytes` hold the literal `text` (its terminator left out) at `at`.
template <std::size_t text_size>
bool has_at(const unsigned char* bytes, std::size_t size, std::size_t at,
            const char (&text)[text_size]) {
  return size >= at + text_size - 1 && std::memcmp(bytes + at, text, text_size - 1) == 0;
}
template <std::size_t text_size>
bool starts_with(const unsigned char* bytes, std::size_t size, const char (&text)[text_size]) {
  return has_at(bytes, size, 0, text);
}

// Text formats, line by line. Reads the next line into state.line_text
// without its line end (LF, CR LF or CR), as much of it as fits; false at
// the end of the input. Counts the line either way, so that a file that
// ends early names the line it lacks. A byte order mark is no part of line 1.
bool next_line(reader_state& state);
// Reads the next line that is not blank and does not start with `comment`
// (0 for none); false at the end of the input.
bool next_line_with_content(reader_state& state, unsigned char comment);
// The first byte of line_text at or after `at` that is no space or tab.
std::size_t skip_blanks(const reader_state& state, std::size_t at);
// Whether the line, from `at` on, is only spaces and tabs.
inline bool blank_from(const reader_state& state, std::size_t at) {
  return skip_blanks(state, at) == state.line_length;
}
// Whether the line is `text` with nothing but blanks after it.
template <std::size_t text_size>
bool line_is(const reader_state& state, const char (&text)[text_size]) {
  return starts_with(state.line_text, state.line_length, text) && blank_from(state, text_size - 1);
}
// Reads up to `most` decimal numbers of 0-255 separated by spaces or tabs
// from the line; `rest` is where the first thing that is no such number
// starts. Returns how many numbers were read, or -1 for one over 255.
int read_numbers(const reader_state& state, unsigned* numbers, int most, std::size_t& rest);
int hex_digit(unsigned char c);

std::uint32_t crc32(const unsigned char* bytes, std::size_t size, std::uint32_t crc = 0);

}  // namespace vexlo::detail

#endif
