// The interface every input format's reader implements: recognise the format
// from the first bytes, read its header, then give its colours one at a time,
// reading the input once, front to back, through a fixed buffer.
#ifndef VEXLO_PALETTE_READER_H
#define VEXLO_PALETTE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vexlo::detail {

// The input through a buffer of fixed size: memory does not grow with the
// file or with its lines.
struct byte_source {
  std::FILE* stream;
  unsigned char* buffer;
  std::size_t capacity;
  std::size_t position;  // of the next byte in `buffer`
  std::size_t filled;    // bytes in `buffer`
  std::uint64_t offset;  // of buffer[0] in the input
};

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

struct rgb {
  unsigned char red, green, blue;
};

// What a reader's step found: its header read (`ready`), a colour, the end
// of the input, a fault, an image that has no palette, or a colour in a
// colour space that vexlo does not convert (the reason names it).
enum class step { ready, colour, end, invalid, no_palette, unsupported };

// How a text file's characters are stored; UTF-16 reaches the readers as
// bytes, one a character (those outside ASCII as 0x80).
enum class text_encoding { utf8, utf16_little, utf16_big };

constexpr std::size_t longest_line = 1024;

struct reader_state {
  byte_source input;
  text_encoding encoding;
  bool after_carriage_return;             // a LF that comes next ends no line
  unsigned long line;                     // text formats: the number of the line last read
  unsigned long expected;                 // colours the file announces
  unsigned long given;                    // colours given so far
  unsigned long black_before_first;       // entries the file leaves unset before its first
  std::uint64_t section_end;              // binary formats: where the chunk being read ends
  unsigned numbers_per_colour;            // GIMP: 3, or 4 with an alpha
  unsigned version;                       // of the format, where its readers differ by it
  unsigned char colour_table[1024];       // an image's colours, entry_size bytes each
  std::size_t entry_size;                 // 0: colours are read one at a time instead
  unsigned char line_text[longest_line];  // the last line read, as much as fits
  std::size_t line_length;
  bool line_cut;    // the last line was longer than line_text holds
  char reason[96];  // why the file is not valid, naming where
};

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

// What recognition sees of the input: its first bytes, and the same as text
// (after a byte order mark, UTF-16 turned into bytes as the readers get it).
struct format_head {
  const unsigned char* bytes;
  std::size_t size;
  bool whole_input;  // the bytes are all of the input
  const unsigned char* text;
  std::size_t text_size;
};

// One input format. `start`, where there is one, reads the header and
// returns step::ready. `next_colour` gives the file's colours in order, then
// step::end once it has read the input to its end. A format without one is
// recognised only to be refused, with `advice` after its name.
// The names are arrays, not pointers, so that the table needs no
// relocation when the program starts.
struct palette_format {
  char short_name[12];  // "JASC-PAL"
  char name[32];        // as messages name it: "a JASC-PAL palette"
  char kind[32];        // "JASC-PAL palette", after "not a valid"
  bool (*recognise)(const format_head& head);
  step (*start)(reader_state& state);
  step (*next_colour)(reader_state& state, rgb& colour);
  const char* advice;  // ", not a palette: save it as an indexed PNG"
};

// Image formats keep their colour table in state.colour_table: `expected`
// entries of `entry_size` bytes, red, green, blue or (with `blue_first`) the
// other way round. Gives them in order; after the last, reads the rest of
// the input.
step next_table_colour(reader_state& state, rgb& colour, bool blue_first);

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
