// Runs a GBA ROM in the mGBA emulator and checks what its screen shows: cell
// k of a 16 x 16 grid of 15 x 10-pixel cells must show entry k of a Kelvo
// palette as the console's 5-bit channels (each 8-bit channel >> 3), black
// past the palette's end.
//
//   gba_screen ROM PALETTE
//
// Prints every cell that differs, and exits 1 if any does.
#include <mgba/core/core.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr unsigned cells_per_row = 16;
constexpr unsigned cell_width = 15;
constexpr unsigned cell_height = 10;
constexpr int frames_to_run = 10;

struct Channels {
  unsigned red, green, blue;
};

bool operator!=(Channels a, Channels b) {
  return a.red != b.red || a.green != b.green || a.blue != b.blue;
}

// Debian's mGBA draws 32-bit pixels, red in bits 0-7, green in 8-15 and
// blue in 16-23, each 5-bit channel v widened to (v << 3) | (v >> 2).
Channels channels_of_pixel(std::uint32_t pixel) {
  return {(pixel & 0xFFu) >> 3, ((pixel >> 8) & 0xFFu) >> 3, ((pixel >> 16) & 0xFFu) >> 3};
}

// What the colour rule keeps of an 8-bit intensity.
unsigned five_bits(unsigned char intensity) { return intensity >> 3u; }

std::vector<Channels> expected_cells(const char* path) {
  std::vector<Channels> cells(std::size_t{cells_per_row} * cells_per_row, Channels{0, 0, 0});
  std::FILE* palette = std::fopen(path, "rb");
  if (palette == nullptr) {
    std::printf("gba_screen: cannot open %s\n", path);
    return {};
  }
  unsigned char entry[3];
  for (auto& cell : cells) {
    if (std::fread(entry, 1, sizeof entry, palette) != sizeof entry) {
      break;
    }
    cell = {five_bits(entry[0]), five_bits(entry[1]), five_bits(entry[2])};
  }
  (void)std::fclose(palette);
  return cells;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: gba_screen ROM PALETTE\n");
    return 2;
  }
  const std::vector<Channels> expected = expected_cells(argv[2]);
  if (expected.empty()) {
    return 2;
  }
  mCore* core = mCoreFind(argv[1]);
  if (core == nullptr || !core->init(core)) {
    std::printf("gba_screen: %s is no ROM mGBA can run\n", argv[1]);
    return 2;
  }
  mCoreInitConfig(core, nullptr);
  mCoreOptions options = {};
  options.skipBios = true;  // no BIOS is shipped: start at the cartridge
  options.logLevel = 0;
  mCoreConfigLoadDefaults(&core->config, &options);
  unsigned width = 0;
  unsigned height = 0;
  core->desiredVideoDimensions(core, &width, &height);
  if (width != cells_per_row * cell_width || height != cells_per_row * cell_height) {
    std::printf("gba_screen: the screen is %ux%u, not 240x160\n", width, height);
    return 2;
  }
  static_assert(sizeof(color_t) == sizeof(std::uint32_t), "mGBA built with 32-bit pixels");
  std::vector<color_t> screen(std::size_t{width} * height);
  core->setVideoBuffer(core, screen.data(), width);
  if (!mCoreLoadFile(core, argv[1])) {
    std::printf("gba_screen: cannot load %s\n", argv[1]);
    return 2;
  }
  mCoreLoadConfig(core);
  core->reset(core);
  for (int frame = 0; frame < frames_to_run; ++frame) {
    core->runFrame(core);
  }

  int differing = 0;
  for (unsigned k = 0; k < expected.size(); ++k) {
    const unsigned left = (k % cells_per_row) * cell_width;
    const unsigned top = (k / cells_per_row) * cell_height;
    for (unsigned pixel = 0; pixel < cell_width * cell_height; ++pixel) {
      const unsigned x = left + pixel % cell_width;
      const unsigned y = top + pixel / cell_width;
      const Channels shown = channels_of_pixel(screen[std::size_t{y} * width + x]);
      if (shown != expected[k]) {
        std::printf("cell %u at (%u, %u): shows %u, %u, %u; expected %u, %u, %u\n", k, x, y,
                    shown.red, shown.green, shown.blue, expected[k].red, expected[k].green,
                    expected[k].blue);
        ++differing;
        break;
      }
    }
  }
  core->deinit(core);
  if (differing > 0) {
    std::printf("gba_screen: %d of %zu cells differ\n", differing, expected.size());
    return 1;
  }
  std::printf("gba_screen: all %zu cells show the palette\n", expected.size());
  return 0;
}
