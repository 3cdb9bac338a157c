// The interface every input format's reader implements: recognise the format
// from the first bytes, read its header, then give its colours one at a time,
// reading the input once, front to back, through a fixed buffer. What the
// readers share to do that is in reader_toolkit.h.
#ifndef VEXLO_PALETTE_READER_H
#define VEXLO_PALETTE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

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
  std::uint64_t section_end;              // binary formats: where the part being read ends
  unsigned numbers_per_colour;            // GIMP: 3, or 4 with an alpha
  unsigned version;                       // of the format, where its readers differ by it
  unsigned char colour_table[1024];       // an image's colours, table_entry_size bytes each
  std::size_t table_entry_size;           // 0: no table, the colours come from the input
  std::size_t stream_entry_size;          // bytes of one colour read from the input
  unsigned char line_text[longest_line];  // the last line read, as much as fits
  std::size_t line_length;
  bool line_cut;    // the last line was longer than line_text holds
  char reason[96];  // why the file is not valid, naming where
};

// What recognition sees of the input: its first bytes, and the same as text
// (after a byte order mark, UTF-16 turned into bytes as the readers get it).
struct format_head {
  const unsigned char* bytes;
  std::size_t size;
  bool whole_input;  // the bytes are all of the input
  text_encoding encoding;
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

}  // namespace vexlo::detail

#endif
