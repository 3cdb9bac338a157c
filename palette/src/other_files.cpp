// Files that are plainly no Kelvo palette and that vexlo reads no palette
// from: recognised by their signatures only to be refused, with advice.
#include "reader_toolkit.h"

namespace vexlo::detail {
namespace {

constexpr const char* image_advice = ", not a palette vexlo reads: save it as an indexed PNG";
constexpr const char* archive_advice = ", not a palette: unpack it first";

template <std::size_t text_size>
bool has(const format_head& head, std::size_t at, const char (&text)[text_size]) {
  return has_at(head.bytes, head.size, at, text);
}

bool jpeg(const format_head& head) { return has(head, 0, "\xFF\xD8\xFF"); }
bool webp(const format_head& head) { return has(head, 0, "RIFF") && has(head, 8, "WEBP"); }
bool tiff(const format_head& head) { return has(head, 0, "II*\0") || has(head, 0, "MM\0*"); }
bool qoi(const format_head& head) { return has(head, 0, "qoif"); }
// Local file, empty archive and spanned archive headers.
bool zip(const format_head& head) {
  return has(head, 0, "PK\3\4") || has(head, 0, "PK\5\6") || has(head, 0, "PK\7\x08");
}
bool gzip(const format_head& head) { return has(head, 0, "\x1F\x8B\x08"); }
// "BZh", a block size, then the magic of a block or of the end.
bool bzip2(const format_head& head) {
  return has(head, 0, "BZh") && head.size > 3 && head.bytes[3] >= '1' && head.bytes[3] <= '9' &&
         (has(head, 4, "\x31\x41\x59\x26\x53\x59") || has(head, 4, "\x17\x72\x45\x38\x50\x90"));
}
bool xz(const format_head& head) {
  return has(head, 0,
             "\xFD"
             "7zXZ\0");
}
bool zstd(const format_head& head) { return has(head, 0, "\x28\xB5\x2F\xFD"); }
bool seven_zip(const format_head& head) { return has(head, 0, "7z\xBC\xAF\x27\x1C"); }
bool pdf(const format_head& head) { return has(head, 0, "%PDF-"); }
bool elf(const format_head& head) {
  return has(head, 0,
             "\x7F"
             "ELF");
}
// "MZ", and at the offset its header gives, "PE" and two zeros.
constexpr std::size_t pe_offset_at = 0x3C;
bool windows_program(const format_head& head) {
  if (!has(head, 0, "MZ") || head.size < pe_offset_at + 4) {
    return false;
  }
  const std::uint32_t pe_offset = little_endian(head.bytes + pe_offset_at, 4);
  return pe_offset <= head.size && has(head, pe_offset, "PE\0\0");
}

constexpr const char* media_advice = ", not a palette";

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_name_character(unsigned char c) { return c >= 0x20 && c < 0x7F; }

// Blanks, then digits; false where either is missing.
bool skip_number(const format_head& head, std::size_t& at) {
  const std::size_t start = at;
  while (at < head.size && is_space(head.bytes[at])) {
    ++at;
  }
  const std::size_t digits = at;
  while (at < head.size && is_digit(head.bytes[at])) {
    ++at;
  }
  return at > digits && digits > start;
}

// "P1" to "P6", "PF" or "Pf", then a width and a height; "P7" then a line
// end: colours rarely spell that much text.
bool netpbm(const format_head& head) {
  if (head.size < 3 || head.bytes[0] != 'P') {
    return false;
  }
  const unsigned char kind = head.bytes[1];
  if (kind == '7') {
    return has(head, 2, "\nWIDTH ");
  }
  std::size_t at = 2;
  return ((kind >= '1' && kind <= '6') || kind == 'F' || kind == 'f') && skip_number(head, at) &&
         skip_number(head, at);
}
// A directory of icons (type 1) or cursors (2): a count, and a first entry
// whose reserved byte is 0, with 0 or 1 planes, a known depth and its image
// right after the directory.
bool icon_directory(const format_head& head, unsigned char type) {
  if (!has(head, 0, "\0\0") || head.size < 22 || head.bytes[2] != type || head.bytes[3] != 0) {
    return false;
  }
  const std::uint32_t count = little_endian(head.bytes + 4, 2);
  const std::uint32_t depth = little_endian(head.bytes + 12, 2);
  return count > 0 && head.bytes[9] == 0 && (type == 2 || little_endian(head.bytes + 10, 2) <= 1) &&
         (type == 2 || depth == 0 || depth == 1 || depth == 4 || depth == 8 || depth == 16 ||
          depth == 24 || depth == 32) &&
         little_endian(head.bytes + 18, 4) == 6 + 16 * count;
}
bool ico(const format_head& head) { return icon_directory(head, 1); }
bool cur(const format_head& head) { return icon_directory(head, 2); }
bool icns(const format_head& head) { return has(head, 0, "icns"); }
bool dds(const format_head& head) { return has(head, 0, "DDS \x7C\0\0\0"); }
// ISO base media files: an "ftyp" box first, whose brand tells the kind.
bool ftyp_brand(const format_head& head, const char* const* brands) {
  if (!has(head, 4, "ftyp") || head.size < 12) {
    return false;
  }
  for (const char* const* brand = brands; *brand != nullptr; ++brand) {
    if (std::memcmp(head.bytes + 8, *brand, 4) == 0) {
      return true;
    }
  }
  return false;
}
bool heif(const format_head& head) {
  static const char* const brands[] = {"heic", "heix", "hevc", "heim", "heis",
                                       "mif1", "msf1", "avif", "avis", nullptr};
  return ftyp_brand(head, brands);
}
bool jpeg_2000(const format_head& head) {
  return has(head, 0, "\0\0\0\x0CjP  \r\n\x87\n") || has(head, 0, "\xFF\x4F\xFF\x51");
}
bool openexr(const format_head& head) { return has(head, 0, "\x76\x2F\x31\x01"); }
bool radiance(const format_head& head) {
  return has(head, 0, "#?RADIANCE") || has(head, 0, "#?RGBE");
}
bool fits(const format_head& head) { return has(head, 0, "SIMPLE  = "); }
bool miff(const format_head& head) { return has(head, 0, "id=ImageMagick"); }
// Magic 474, a storage of 0 or 1, 1 or 2 bytes a channel, 1 to 3
// dimensions, a size of at least 1 x 1 and 1 to 4 channels.
bool sgi(const format_head& head) {
  const unsigned char* bytes = head.bytes;
  return has(head, 0, "\x01\xDA") && head.size >= 12 && bytes[2] <= 1 &&
         (bytes[3] == 1 || bytes[3] == 2) && bytes[4] == 0 && bytes[5] >= 1 && bytes[5] <= 3 &&
         big_endian(bytes + 6, 2) > 0 && big_endian(bytes + 8, 2) > 0 && bytes[10] == 0 &&
         bytes[11] >= 1 && bytes[11] <= 4;
}
bool sun_raster(const format_head& head) { return has(head, 0, "\x59\xA6\x6A\x95"); }
// X window dumps: a header size, version 7, a pixmap format of 0 to 2 and
// a depth of 1 to 32, big-endian.
bool xwd(const format_head& head) {
  if (head.size < 16 || !has(head, 4, "\0\0\0\x07")) {
    return false;
  }
  const std::uint32_t header_size = big_endian(head.bytes, 4);
  const std::uint32_t format = big_endian(head.bytes + 8, 4);
  const std::uint32_t depth = big_endian(head.bytes + 12, 4);
  return header_size >= 100 && header_size < 4096 && format <= 2 && depth >= 1 && depth <= 32;
}
bool viff(const format_head& head) { return has(head, 0, "\xAB\x01\x01\x03"); }
bool dpx(const format_head& head) { return has(head, 0, "SDPX") || has(head, 0, "XPDS"); }
bool cineon(const format_head& head) { return has(head, 0, "\x80\x2A\x5F\xD7"); }
// A printer job, or a reset and a page setting: escapes no palette holds.
bool pcl(const format_head& head) {
  return has(head, 0, "\x1B%-12345X") ||
         has(head, 0,
             "\x1B"
             "E\x1B&") ||
         has(head, 0,
             "\x1B"
             "E\x1B*");
}
// A device control string of numbers, then "q".
bool sixel(const format_head& head) {
  if (!has(head, 0, "\x1BP")) {
    return false;
  }
  std::size_t at = 2;
  while (at < head.size && at < 16 && (is_digit(head.bytes[at]) || head.bytes[at] == ';')) {
    ++at;
  }
  return at < head.size && head.bytes[at] == 'q';
}
bool jng(const format_head& head) { return has(head, 0, "\x8BJNG\r\n\x1A\n"); }
bool mng(const format_head& head) { return has(head, 0, "\x8AMNG\r\n\x1A\n"); }
bool postscript(const format_head& head) {
  return has(head, 0, "%!PS") || has(head, 0, "\xC5\xD0\xD3\xC6");
}
bool vips(const format_head& head) {
  return has(head, 0, "\x08\xF2\xA6\xB6") || has(head, 0, "\xB6\xA6\xF2\x08");
}
// IFF groups and RIFF forms the readers before did not take: a size, then
// a type of four printable characters.
bool typed_group(const format_head& head, std::size_t type_at) {
  if (head.size < type_at + 4) {
    return false;
  }
  for (std::size_t at = type_at; at < type_at + 4; ++at) {
    if (!is_name_character(head.bytes[at])) {
      return false;
    }
  }
  return true;
}
bool iff_other(const format_head& head) {
  return (has(head, 0, "FORM") || has(head, 0, "CAT ") || has(head, 0, "LIST")) &&
         typed_group(head, 8);
}
bool riff_other(const format_head& head) { return has(head, 0, "RIFF") && typed_group(head, 8); }
bool video(const format_head& head) {
  static const char* const brands[] = {"isom", "iso2", "mp41", "mp42", "avc1", "M4V ",
                                       "M4A ", "qt  ", "3gp4", "3gp5", "dash", nullptr};
  return ftyp_brand(head, brands) || has(head, 0, "\x1A\x45\xDF\xA3");
}
// An ID3 tag of version 2.2 to 2.4 before MP3 audio: its size is four
// bytes of seven bits.
bool id3_tag(const format_head& head) {
  const unsigned char* bytes = head.bytes;
  return has(head, 0, "ID3") && head.size >= 10 && bytes[3] >= 2 && bytes[3] <= 4 &&
         bytes[4] != 0xFF && ((bytes[6] | bytes[7] | bytes[8] | bytes[9]) & 0x80u) == 0;
}
bool sound(const format_head& head) {
  return has(head, 0, "OggS\0") || has(head, 0, "fLaC") || id3_tag(head) ||
         has(head, 0, "MThd\0\0\0\x06");
}
// A table directory: a count of tables, then the search fields that the
// count alone determines.
bool font(const format_head& head) {
  if (has(head, 0, "wOFF") || has(head, 0, "wOF2") || has(head, 0, "ttcf")) {
    return true;
  }
  if (head.size < 12 ||
      !(has(head, 0, "\0\x01\0\0") || has(head, 0, "OTTO") || has(head, 0, "true"))) {
    return false;
  }
  const std::uint32_t tables = big_endian(head.bytes + 4, 2);
  std::uint32_t selector = 0;
  while ((2u << selector) <= tables) {
    ++selector;
  }
  const std::uint32_t range = 16u << selector;
  return tables > 0 && big_endian(head.bytes + 6, 2) == range &&
         big_endian(head.bytes + 8, 2) == selector &&
         big_endian(head.bytes + 10, 2) == tables * 16 - range;
}
}  // namespace

extern const palette_format jpeg_format = {"JPEG",  "a JPEG image", "",          jpeg,
                                           nullptr, nullptr,        image_advice};
extern const palette_format webp_format = {"WebP",  "a WebP image", "",          webp,
                                           nullptr, nullptr,        image_advice};
extern const palette_format tiff_format = {"TIFF",  "a TIFF image", "",          tiff,
                                           nullptr, nullptr,        image_advice};
extern const palette_format qoi_format = {"QOI",   "a QOI image", "",          qoi,
                                          nullptr, nullptr,       image_advice};
extern const palette_format zip_format = {
    "ZIP",
    "a ZIP archive",
    "",
    zip,
    nullptr,
    nullptr,
    ", not a palette: save its colours as a GIMP palette or an indexed PNG"};
extern const palette_format gzip_format = {"gzip",  "a gzip file", "", gzip, nullptr,
                                           nullptr, archive_advice};
extern const palette_format bzip2_format = {"bzip2", "a bzip2 file", "", bzip2, nullptr,
                                            nullptr, archive_advice};
extern const palette_format xz_format = {"xz",    "an xz file",  "", xz, nullptr,
                                         nullptr, archive_advice};
extern const palette_format zstd_format = {"zstd",  "a zstd file", "", zstd, nullptr,
                                           nullptr, archive_advice};
extern const palette_format seven_zip_format = {"7z",    "a 7z archive", "", seven_zip, nullptr,
                                                nullptr, archive_advice};
extern const palette_format pdf_format = {"PDF",   "a PDF document", "", pdf, nullptr,
                                          nullptr, ", not a palette"};
extern const palette_format elf_format = {"ELF",   "an ELF program", "", elf, nullptr,
                                          nullptr, ", not a palette"};
extern const palette_format windows_program_format = {
    "PE", "a Windows program", "", windows_program, nullptr, nullptr, ", not a palette"};

extern const palette_format netpbm_format = {"netpbm", "a netpbm image", "",          netpbm,
                                             nullptr,  nullptr,          image_advice};
extern const palette_format ico_format = {"ICO",   "a Windows icon", "",          ico,
                                          nullptr, nullptr,          image_advice};
extern const palette_format cur_format = {"CUR",   "a Windows cursor", "", cur, nullptr,
                                          nullptr, image_advice};
extern const palette_format icns_format = {"ICNS",  "an Apple icon", "",          icns,
                                           nullptr, nullptr,         image_advice};
extern const palette_format dds_format = {"DDS",   "a DDS texture", "",          dds,
                                          nullptr, nullptr,         image_advice};
extern const palette_format heif_format = {
    "HEIF", "a HEIF or AVIF image", "", heif, nullptr, nullptr, image_advice};
extern const palette_format jpeg_2000_format = {
    "JPEG 2000", "a JPEG 2000 image", "", jpeg_2000, nullptr, nullptr, image_advice};
extern const palette_format openexr_format = {"OpenEXR", "an OpenEXR image", "", openexr, nullptr,
                                              nullptr,   image_advice};
extern const palette_format radiance_format = {
    "HDR", "a Radiance HDR image", "", radiance, nullptr, nullptr, image_advice};
extern const palette_format fits_format = {"FITS",  "a FITS image", "",          fits,
                                           nullptr, nullptr,        image_advice};
extern const palette_format miff_format = {"MIFF",  "a MIFF image", "",          miff,
                                           nullptr, nullptr,        image_advice};
extern const palette_format sgi_format = {"SGI",   "an SGI image", "",          sgi,
                                          nullptr, nullptr,        image_advice};
extern const palette_format sun_raster_format = {
    "Sun raster", "a Sun raster image", "", sun_raster, nullptr, nullptr, image_advice};
extern const palette_format xwd_format = {"XWD",   "an X window dump", "", xwd, nullptr,
                                          nullptr, image_advice};
extern const palette_format viff_format = {"VIFF",  "a VIFF image", "",          viff,
                                           nullptr, nullptr,        image_advice};
extern const palette_format dpx_format = {"DPX",   "a DPX image", "",          dpx,
                                          nullptr, nullptr,       image_advice};
extern const palette_format cineon_format = {"Cineon", "a Cineon image", "",          cineon,
                                             nullptr,  nullptr,          image_advice};
extern const palette_format pcl_format = {"PCL",   "a PCL printer file", "", pcl, nullptr,
                                          nullptr, image_advice};
extern const palette_format sixel_format = {"sixel", "a sixel image", "",          sixel,
                                            nullptr, nullptr,         image_advice};
extern const palette_format jng_format = {"JNG",   "a JNG image", "",          jng,
                                          nullptr, nullptr,       image_advice};
extern const palette_format mng_format = {"MNG",   "an MNG animation", "", mng, nullptr,
                                          nullptr, image_advice};
extern const palette_format postscript_format = {
    "PostScript", "a PostScript document", "", postscript, nullptr, nullptr, image_advice};
extern const palette_format vips_format = {"VIPS",  "a VIPS image", "",          vips,
                                           nullptr, nullptr,        image_advice};
extern const palette_format iff_other_format = {
    "IFF form", "an IFF file of no palette", "", iff_other, nullptr, nullptr, media_advice};
extern const palette_format riff_other_format = {
    "RIFF form", "a RIFF file of no palette", "", riff_other, nullptr, nullptr, media_advice};
extern const palette_format video_format = {"video", "a video", "",          video,
                                            nullptr, nullptr,   media_advice};
extern const palette_format sound_format = {"sound", "a sound file", "",          sound,
                                            nullptr, nullptr,        media_advice};
extern const palette_format font_format = {"font",  "a font", "",          font,
                                           nullptr, nullptr,  media_advice};

}  // namespace vexlo::detail
