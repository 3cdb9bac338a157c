// The interface every input format's reader implements: recognise the format
// from the first bytes, then give its colours one at a time, reading the
// input once, front to back, through a fixed buffer.
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

enum class step { colour, end, invalid, no_palette };

struct reader_state {
  byte_source input;
  bool started;               // the header has been read
  unsigned long line;         // text formats: the number of the line last read
  unsigned long expected;     // colours the file announces
  unsigned long given;        // colours given so far
  unsigned char table[1024];  // an image's colour table, or a text line
  std::size_t entry_size;     // bytes per entry of an image's colour table
  bool line_cut;              // the last line was longer than state.table holds
  char reason[96];            // why the file is not valid, naming where
};

// Sets the reason, "line N: ..." or "byte N: ...", and returns step::invalid.
step invalid_at_line(reader_state& state, const char* what);
step invalid_at_byte(reader_state& state, std::uint64_t offset, const char* what);

// One input format. `recognise` sees the first bytes, and `whole_input` says
// whether they are the whole file. `next_colour` gives the file's colours in
// order, then step::end once it has read the input to its end.
struct palette_format {
  const char* name;  // as messages name it: "a JASC-PAL palette"
  const char* kind;  // "JASC-PAL palette", after "not a valid"
  bool (*recognise)(const unsigned char* head, std::size_t size, bool whole_input);
  step (*next_colour)(reader_state& state, rgb& colour);
};

extern const palette_format jasc_pal_format;
extern const palette_format gimp_format;
extern const palette_format riff_format;
extern const palette_format paint_net_format;
extern const palette_format hex_list_format;
extern const palette_format png_format;
extern const palette_format gif_format;
extern const palette_format bmp_format;

// Image formats read their colour table once, with `read_table`, into
// state.table: `expected` entries of `entry_size` bytes, red, green, blue or
// (with `blue_first`) the other way round. Gives them in order; after the
// last, reads the rest of the input.
step next_table_colour(reader_state& state, rgb& colour, step (*read_table)(reader_state&),
                       bool blue_first);
inline std::uint32_t little_endian(const unsigned char* bytes, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | bytes[i];
  }
  return value;
}
inline std::uint32_t big_endian_32(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Text formats, line by line.
// Reads the next line into state.table without its line end (LF or CR LF),
// as much of it as fits; false at the end of the input. A UTF-8 byte order mark before line 1 is
// dropped.
bool next_line(reader_state& state, std::size_t& length);
// Whether `head` starts with the literal `text` (its terminator left out).
template <std::size_t text_size>
bool starts_with(const unsigned char* head, std::size_t size, const char (&text)[text_size]) {
  return size >= text_size - 1 && std::memcmp(head, text, text_size - 1) == 0;
}
// The same after a UTF-8 byte order mark, or none.
template <std::size_t text_size>
bool text_starts_with(const unsigned char* head, std::size_t size, const char (&text)[text_size]) {
  const std::size_t mark = starts_with(head, size, "\xEF\xBB\xBF") ? 3 : 0;
  return starts_with(head + mark, size - mark, text);
}
// Reads up to `most` decimal numbers of 0-255 separated by spaces or tabs
// from `line`; `rest` is where the first thing that is no such number
// starts. Returns how many numbers were read, or -1 for one over 255.
int read_numbers(const unsigned char* line, std::size_t length, unsigned* numbers, int most,
                 std::size_t& rest);
bool is_blank(const unsigned char* line, std::size_t length);
int hex_digit(unsigned char c);

std::uint32_t crc32(const unsigned char* bytes, std::size_t size, std::uint32_t crc = 0);

}  // namespace vexlo::detail

#endif
