// Copies the converted colour words into background palette RAM and fills
// the mode 4 frame (240 x 160 palette indices) with a 16 x 16 grid of
// 15 x 10-pixel cells, cell k showing colour k.
#include <stdint.h>

extern const uint16_t palette_words[];
extern const uint16_t palette_words_end[];

#define DISPLAY_CONTROL (*(volatile uint16_t*)0x04000000)
#define BACKGROUND_PALETTE ((volatile uint16_t*)0x05000000)
#define FRAME ((volatile uint16_t*)0x06000000)

enum { screen_width = 240, screen_height = 160, cell_height = 10 };
enum { mode_4 = 0x0004, show_background_2 = 0x0400 };

// A variable, as any game has: start-up copies its value to work RAM, and
// dividing by it calls libgcc.
unsigned grid_columns = 16;

void show_palette(void) {
  unsigned count = (unsigned)(palette_words_end - palette_words);
  if (count > 256) {
    count = 256;  // the rest would be sprite colours
  }
  for (unsigned k = 0; k < count; ++k) {
    BACKGROUND_PALETTE[k] = palette_words[k];
  }
  // The column of each x: one division per column of pixels.
  const unsigned cell_width = screen_width / grid_columns;
  uint8_t column_of[screen_width];
  for (unsigned x = 0; x < screen_width; ++x) {
    column_of[x] = (uint8_t)(x / cell_width);
  }
  // Video RAM takes 16-bit writes: two pixels each, the left one low.
  for (unsigned y = 0; y < screen_height; ++y) {
    const unsigned row_start = (y / cell_height) * grid_columns;
    for (unsigned x = 0; x < screen_width; x += 2) {
      FRAME[(y * screen_width + x) / 2] =
          (uint16_t)((row_start + column_of[x]) | (row_start + column_of[x + 1]) << 8);
    }
  }
  DISPLAY_CONTROL = mode_4 | show_background_2;
}
