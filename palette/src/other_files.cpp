// Files that are plainly no Kelvo palette and that vexlo reads no palette
// from: recognised by their signatures only to be refused, with advice.
#include "palette_reader.h"

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

}  // namespace vexlo::detail
