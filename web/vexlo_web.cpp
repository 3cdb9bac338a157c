// The library as the page calls it: a file's bytes in, its words, its own
// colours and what it was read as out, through memory streams. The page
// owns nothing here but the blocks these functions hand it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vexlo/palette.h"

namespace {

// What one conversion gives the page; every pointer is the page's to free
// with vexlo_free_result.
struct web_result {
  int status;  // a vexlo::palette_result
  unsigned char* words;
  unsigned long word_bytes;
  unsigned char* colours;
  unsigned long colour_bytes;
  char format[64];  // "a GIMP palette", or "a Kelvo palette"
  char refusal[sizeof vexlo::palette_refusal::text];
};

// Runs `open` and the conversion on the bytes, into a memory stream.
vexlo::palette_result run(const unsigned char* bytes, unsigned long size,
                          vexlo::palette_result (*open)(std::FILE*, vexlo::palette_source**,
                                                        vexlo::palette_refusal&),
                          unsigned char*& output, unsigned long& output_size,
                          vexlo::palette_refusal& refusal) {
  output = nullptr;
  output_size = 0;
  // fmemopen refuses a size of 0; an empty input is read from a 1-byte
  // buffer that ends at once.
  std::FILE* input = ::fmemopen(const_cast<unsigned char*>(bytes), size > 0 ? size : 1, "rb");
  if (input != nullptr && size == 0) {
    (void)std::fgetc(input);
  }
  char* written = nullptr;
  std::size_t written_size = 0;
  std::FILE* memory = input != nullptr ? ::open_memstream(&written, &written_size) : nullptr;
  vexlo::palette_result result = vexlo::palette_result::read_failed;
  vexlo::palette_source* source = nullptr;
  if (memory != nullptr) {
    result = open(input, &source, refusal);
    if (result == vexlo::palette_result::converted) {
      result = vexlo::convert_open_palette(source, memory, refusal);
    }
    if (std::fclose(memory) != 0 && result == vexlo::palette_result::converted) {
      result = vexlo::palette_result::write_failed;
    }
  }
  if (input != nullptr) {
    (void)std::fclose(input);
  }
  output = reinterpret_cast<unsigned char*>(written);
  output_size = written_size;
  return result;
}

}  // namespace

extern "C" {

// A block of `size` bytes for the page to copy a file into.
__attribute__((export_name("vexlo_alloc"))) void* vexlo_alloc(unsigned long size) {
  return std::malloc(size > 0 ? size : 1);
}

__attribute__((export_name("vexlo_free"))) void vexlo_free(void* block) { std::free(block); }

// Reads `bytes` as the command reads an input: its words, its colours (3
// bytes each) and what it was read as, or why it was refused.
__attribute__((export_name("vexlo_convert"))) web_result* vexlo_convert(const unsigned char* bytes,
                                                                        unsigned long size) {
  auto* result = static_cast<web_result*>(std::calloc(1, sizeof(web_result)));
  if (result == nullptr) {
    return nullptr;
  }
  vexlo::palette_refusal refusal{};
  result->status = static_cast<int>(
      run(bytes, size, vexlo::open_palette, result->words, result->word_bytes, refusal));
  if (result->status == static_cast<int>(vexlo::palette_result::converted)) {
    result->status = static_cast<int>(run(bytes, size, vexlo::open_palette_colours, result->colours,
                                          result->colour_bytes, refusal));
    const unsigned long head =
        size < vexlo::format_signature_size ? size : vexlo::format_signature_size;
    const char* format = vexlo::other_format_description(bytes, head);
    (void)std::snprintf(result->format, sizeof result->format, "%s",
                        format != nullptr ? format : "a Kelvo palette");
  }
  (void)std::snprintf(result->refusal, sizeof result->refusal, "%s", refusal.text);
  return result;
}

__attribute__((export_name("vexlo_free_result"))) void vexlo_free_result(web_result* result) {
  if (result != nullptr) {
    std::free(result->words);
    std::free(result->colours);
    std::free(result);
  }
}
}
