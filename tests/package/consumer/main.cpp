#include <vexlo/palette.h>

#include <cstdio>

static_assert(vexlo::gba_color_from_rgb(128, 128, 128) == 0x4210, "colour rule");

int main() {
  std::FILE* input = std::tmpfile();
  std::FILE* output = std::tmpfile();
  if (input == nullptr || output == nullptr) {
    return 1;
  }
  const unsigned char entries[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 7};
  std::fwrite(entries, 1, sizeof entries, input);
  std::rewind(input);
  vexlo::convert_palette(input, output);

  const unsigned char expected[] = {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C};
  unsigned char words[sizeof expected + 1] = {};
  std::rewind(output);
  const std::size_t count = std::fread(words, 1, sizeof words, output);
  if (count != sizeof expected) {
    std::printf("consumer: %zu bytes converted, expected %zu\n", count, sizeof expected);
    return 1;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (words[i] != expected[i]) {
      std::printf("consumer: byte %zu is %02X, expected %02X\n", i, words[i], expected[i]);
      return 1;
    }
  }
  std::printf("consumer: converted through the installed vexlo::palette\n");
  return 0;
}
