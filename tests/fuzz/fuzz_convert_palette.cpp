// libFuzzer target: converts arbitrary bytes through real C streams, as a
// Kelvo palette and by their recognised format, and checks every property
// of the output that the input determines.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "vexlo/palette.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_convert_palette: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* input = std::tmpfile();
  std::FILE* output = std::tmpfile();
  check(input != nullptr && output != nullptr, "cannot create temporary streams");
  if (size > 0) {
    check(std::fwrite(data, 1, size, input) == size, "cannot write the input");
  }
  std::rewind(input);

  vexlo::convert_palette(input, output);
  check(!std::ferror(input) && !std::ferror(output), "stream error indicator set");
  check(std::fgetc(input) == EOF, "input not read to its end");

  // Two bytes per whole entry; a 772-byte Adobe colour table, its count.
  const unsigned count = size == 772 ? unsigned{data[768]} << 8 | data[769] : 0;
  const unsigned transparent = size == 772 ? unsigned{data[770]} << 8 | data[771] : 0;
  const std::size_t entries =
      count >= 1 && count <= 256 && (transparent <= 255 || transparent == 0xFFFF) ? count
                                                                                  : size / 3;
  const long length = std::ftell(output);
  check(length >= 0 && static_cast<std::size_t>(length) == 2 * entries,
        "output is not two bytes per entry converted");
  std::rewind(output);
  for (std::size_t entry = 0; entry < entries; ++entry) {
    const int low = std::fgetc(output);
    const int high = std::fgetc(output);
    check(low != EOF && high != EOF, "output shorter than its length");
    check((high & 0x80) == 0, "bit 15 set");
    const std::uint16_t expected =
        vexlo::gba_color_from_rgb(data[3 * entry], data[3 * entry + 1], data[3 * entry + 2]);
    check((low | (high << 8)) == expected, "word differs from the colour rule");
  }

  // Recognised by content, any bytes are converted whole, one word per
  // colour, or refused with a reason, and read to their end either way.
  std::rewind(input);
  std::FILE* any_output = std::tmpfile();
  check(any_output != nullptr, "cannot create a temporary stream");
  vexlo::palette_refusal refusal{};
  const vexlo::palette_result result = vexlo::convert_any_palette(input, any_output, refusal);
  check(result == vexlo::palette_result::converted || result == vexlo::palette_result::refused,
        "a stream in memory failed");
  check((result == vexlo::palette_result::refused) == (refusal.text[0] != '\0'),
        "a refusal without a reason, or a reason without a refusal");
  const long any_length = std::ftell(any_output);
  check(any_length >= 0 && any_length % 2 == 0, "output is not whole words");
  std::rewind(any_output);
  for (long i = 0; i < any_length; i += 2) {
    (void)std::fgetc(any_output);
    check((std::fgetc(any_output) & 0x80) == 0, "bit 15 set");
  }
  check(result == vexlo::palette_result::refused || std::fgetc(input) == EOF,
        "input not read to its end");

  std::fclose(any_output);
  std::fclose(output);
  std::fclose(input);
  return 0;
}
