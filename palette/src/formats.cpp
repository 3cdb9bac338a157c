// Which format an input is, from its first bytes: the one table of formats,
// readers and refused kinds alike, and the rule that tells text.
#include "formats.h"

#include "reader_toolkit.h"
#include "vexlo/palette.h"

namespace vexlo {
namespace detail {

// Every format, in the order they are tried. Each FORMAT(x) names
// `x_format`, defined in readers/x.cpp or, for files refused on sight, in
// other_files.cpp. Adding a format is one line here. The order: formats with
// a signature first, text ones by their first line; then Photoshop swatches
// and hex lists, whose rules are looser; the kinds refused on sight after
// every reader, so that a reader's form of a container (RIFF PAL, IFF ILBM)
// is read before its other forms are refused; and TGA last, as it has no
// signature at all and a file any other format claims is not one.
#define VEXLO_FORMATS(FORMAT) \
  FORMAT(jasc_pal)            \
  FORMAT(gimp)                \
  FORMAT(riff)                \
  FORMAT(paint_net)           \
  FORMAT(png)                 \
  FORMAT(gif)                 \
  FORMAT(bmp)                 \
  FORMAT(aseprite)            \
  FORMAT(swatch_exchange)     \
  FORMAT(photoshop_image)     \
  FORMAT(gimp_image)          \
  FORMAT(iff)                 \
  FORMAT(pcx)                 \
  FORMAT(photoshop_swatches)  \
  FORMAT(hex_list)            \
  FORMAT(jpeg)                \
  FORMAT(webp)                \
  FORMAT(tiff)                \
  FORMAT(qoi)                 \
  FORMAT(zip)                 \
  FORMAT(gzip)                \
  FORMAT(bzip2)               \
  FORMAT(xz)                  \
  FORMAT(zstd)                \
  FORMAT(seven_zip)           \
  FORMAT(pdf)                 \
  FORMAT(elf)                 \
  FORMAT(windows_program)     \
  FORMAT(netpbm)              \
  FORMAT(ico)                 \
  FORMAT(cur)                 \
  FORMAT(icns)                \
  FORMAT(dds)                 \
  FORMAT(heif)                \
  FORMAT(jpeg_2000)           \
  FORMAT(openexr)             \
  FORMAT(radiance)            \
  FORMAT(fits)                \
  FORMAT(miff)                \
  FORMAT(sgi)                 \
  FORMAT(sun_raster)          \
  FORMAT(xwd)                 \
  FORMAT(viff)                \
  FORMAT(dpx)                 \
  FORMAT(cineon)              \
  FORMAT(pcl)                 \
  FORMAT(sixel)               \
  FORMAT(jng)                 \
  FORMAT(mng)                 \
  FORMAT(postscript)          \
  FORMAT(vips)                \
  FORMAT(iff_other)           \
  FORMAT(riff_other)          \
  FORMAT(video)               \
  FORMAT(sound)               \
  FORMAT(font)                \
  FORMAT(tga)

#define VEXLO_DECLARE_FORMAT(name) extern const palette_format name##_format;
VEXLO_FORMATS(VEXLO_DECLARE_FORMAT)

namespace {

#define VEXLO_FORMAT_ROW(name) &name##_format,
const palette_format* const formats[] = {VEXLO_FORMATS(VEXLO_FORMAT_ROW)};

bool is_continuation(unsigned char c) { return (c & 0xC0u) == 0x80u; }

// Bytes after a UTF-8 lead byte, or -1 for a byte no character starts with.
int utf8_continuations(unsigned char c) {
  return c < 0x80                 ? 0
         : c >= 0xC2 && c <= 0xDF ? 1
         : c >= 0xE0 && c <= 0xEF ? 2
         : c >= 0xF0 && c <= 0xF4 ? 3
                                  : -1;
}

bool is_text_character(unsigned c) {
  return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

const palette_format* recognised_format(const format_head& head) {
  for (const palette_format* format : formats) {
    if (format->recognise(head)) {
      return format;
    }
  }
  return nullptr;
}

namespace {

text_encoding encoding_of(const unsigned char* bytes, std::size_t size) {
  return starts_with(bytes, size, "\xFF\xFE")   ? text_encoding::utf16_little
         : starts_with(bytes, size, "\xFE\xFF") ? text_encoding::utf16_big
                                                : text_encoding::utf8;
}

}  // namespace

format_head make_format_head(const unsigned char* bytes, std::size_t size, bool whole_input,
                             unsigned char (&text)[text_head_capacity]) {
  const text_encoding encoding = encoding_of(bytes, size);
  format_head head{bytes, size, whole_input, encoding, bytes, size};
  if (encoding == text_encoding::utf8) {
    const std::size_t mark = starts_with(bytes, size, "\xEF\xBB\xBF") ? 3 : 0;
    head.text = bytes + mark;
    head.text_size = size - mark;
    return head;
  }
  std::size_t length = 0;
  for (std::size_t at = 2; at + 1 < size && length < text_head_capacity; at += 2) {
    text[length++] = byte_of_unit(utf16_unit(bytes + at, encoding));
  }
  head.text = text;
  head.text_size = length;
  return head;
}

// Printable characters, tabs and line ends alone, with a line end among
// them. Bytes over 0x7F must form UTF-8 characters and UTF-16 must pair its
// surrogates, which a run of colours almost never does; NUL (black) and
// 0xFF (white) are no part of either.
bool is_plain_text(const format_head& head) {
  const unsigned char* bytes = head.bytes;
  const std::size_t size = head.size;
  const bool whole_input = head.whole_input;
  bool line_end = false;
  if (head.encoding != text_encoding::utf8) {
    bool high_surrogate = false;
    for (std::size_t at = 2; at + 1 < size; at += 2) {
      const unsigned unit = utf16_unit(bytes + at, head.encoding);
      const bool low_surrogate = unit >= 0xDC00 && unit <= 0xDFFF;
      if (!is_text_character(unit) || unit >= 0xFFFE || high_surrogate != low_surrogate) {
        return false;
      }
      high_surrogate = unit >= 0xD800 && unit <= 0xDBFF;
      line_end = line_end || unit == '\n' || unit == '\r';
    }
    return line_end && (!high_surrogate || !whole_input) && (size % 2 == 0 || !whole_input);
  }
  for (std::size_t at = 0; at < size;) {
    const unsigned char c = bytes[at];
    const int continuations = utf8_continuations(c);
    if (continuations < 0 || !is_text_character(c)) {
      return false;
    }
    line_end = line_end || c == '\n' || c == '\r';
    ++at;
    for (int i = 0; i < continuations; ++i, ++at) {
      if (at == size) {
        return line_end && !whole_input;  // cut by the first read
      }
      if (!is_continuation(bytes[at])) {
        return false;
      }
    }
  }
  return line_end;
}

}  // namespace detail

namespace {

const detail::palette_format* format_of_head(const unsigned char* head, std::size_t head_size) {
  unsigned char text[detail::text_head_capacity];
  return detail::recognised_format(
      detail::make_format_head(head, head_size, head_size < format_signature_size, text));
}

}  // namespace

const char* other_palette_format(const unsigned char* head, std::size_t head_size) {
  const detail::palette_format* format = format_of_head(head, head_size);
  return format != nullptr ? format->short_name : nullptr;
}

const char* other_format_description(const unsigned char* head, std::size_t head_size) {
  const detail::palette_format* format = format_of_head(head, head_size);
  return format != nullptr ? format->name : nullptr;
}

}  // namespace vexlo
