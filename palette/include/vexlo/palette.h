// Kelvo palette (8-bit red, green, blue triplets) to GBA palette (16-bit
// little-endian 5-5-5 colour words) conversion.
#ifndef VEXLO_PALETTE_H
#define VEXLO_PALETTE_H

#include <cstdint>
#include <cstdio>

namespace vexlo {

// Bytes per entry in each format.
inline constexpr std::size_t kelvo_entry_size = 3;
inline constexpr std::size_t gba_word_size = 2;

// The colour rule: each intensity keeps its top five bits (truncation, no
// rounding); red goes to bits 0-4, green to 5-9, blue to 10-14, bit 15 is 0.
constexpr std::uint16_t gba_color_from_rgb(std::uint8_t red, std::uint8_t green,
                                           std::uint8_t blue) {
  return static_cast<std::uint16_t>((red >> 3) | ((green >> 3) << 5) | ((blue >> 3) << 10));
}

// Reads 3-byte entries from `input` until it ends or fails, and writes one
// little-endian colour word per whole entry to `output`; a trailing partial
// entry is dropped. An input of exactly 772 bytes that ends in an Adobe
// colour table's trailer (a big-endian colour count of 1 to 256, then a
// transparent index of 0 to 255 or 0xFFFF) gives that many words and no
// more. Both streams stay open and belong to the caller, who learns of a
// failed read or write from ferror() on the matching stream. Conversion
// stops early once a write has failed. It takes one 320 KiB heap block per
// call and a few KiB of stack; when the heap cannot spare the block it
// converts in smaller blocks on the stack instead, so it runs on threads
// with small stacks and never throws.
void convert_palette(std::FILE* input, std::FILE* output);

// The same conversion for an input whose first `head_size` bytes the caller
// has already read (to look at its signature, say): they are converted
// first, as if still in `input`, so that a pipe need not be read twice.
void convert_palette(const unsigned char* head, std::size_t head_size, std::FILE* input,
                     std::FILE* output);

// How many leading bytes the format checks below look at, at the most: as
// many as the first read of an input takes, so that a file named as the
// output is judged as it would be as an input (a TGA footer included).
inline constexpr std::size_t format_signature_size = std::size_t{64} * 1024;

// Names the format of a file that vexlo reads, or refuses by its signature,
// from its first bytes (`head_size` under format_signature_size means they
// are the whole file): a short name such as "GIMP" or "JPEG" (the README's
// table and the man page list the formats); nullptr for none of those,
// which is what a Kelvo palette and plain text are.
const char* other_palette_format(const unsigned char* head, std::size_t head_size);

// The same file as a message names it: "a GIMP palette", "a PNG image";
// nullptr for none of those.
const char* other_format_description(const unsigned char* head, std::size_t head_size);

// Palettes of every format that paint programs write, and the palettes of
// indexed images, recognised by their content. Files of other kinds that
// are plainly no palette are refused. Whatever else there is is a Kelvo
// palette, converted as convert_palette does. Each colour gives one word by
// the colour rule, in the file's order.

enum class palette_result { converted, refused, read_failed, write_failed };

// Why an input was refused, as the words that follow its name in a message:
// "is a PNG image without a palette", "is not a valid JASC-PAL palette:
// line 8: a number over 255".
struct palette_refusal {
  char text[192];
};

// An input whose format is known and whose first colours are read.
struct palette_source;

// Reads the input's first bytes and recognises its format; then reads and
// checks the whole palette of an image or RIFF file, and at least the first
// 65536 colours of a text palette, so that a damaged file is refused before
// any output exists. On `converted`, `*source` is open: hand it to
// convert_open_palette, or to close_palette when no output will follow.
palette_result open_palette(std::FILE* input, palette_source** source, palette_refusal& refusal);

// The same for a source whose colours convert_open_palette writes as the
// file holds them, 3 bytes each, red, green, blue, instead of their words:
// one colour for each word that a conversion gives, to show or compare them.
palette_result open_palette_colours(std::FILE* input, palette_source** source,
                                    palette_refusal& refusal);

// Writes the colours of an open source to `output` and reads the input to
// its end, converting as it goes; closes the source. A fault found further
// into a long text palette is `refused`, after part of it was written.
palette_result convert_open_palette(palette_source* source, std::FILE* output,
                                    palette_refusal& refusal);

void close_palette(palette_source* source);

// Both steps in one call, for an output that is already open.
palette_result convert_any_palette(std::FILE* input, std::FILE* output, palette_refusal& refusal);

}  // namespace vexlo

#endif
