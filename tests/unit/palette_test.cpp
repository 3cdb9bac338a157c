#include "vexlo/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#if __has_include(<pthread.h>)
#include <pthread.h>

#include <climits>
#define VEXLO_TEST_HAS_PTHREADS 1
#endif

// Linked with --wrap=malloc and --wrap=free where the toolchain allows, so
// that a test can refuse the library its conversion block and count the
// blocks it keeps.
#ifdef VEXLO_TEST_WRAPS_MALLOC
namespace {
std::atomic<int> large_mallocs_to_refuse{0};
std::atomic<int> large_mallocs_refused{0};
std::atomic<std::size_t> bytes_allocated{0};
// The library's blocks are large: a C library linked statically also
// takes its stream buffers from the wrapped malloc, and keeps them.
constexpr std::size_t large_block = std::size_t{64} * 1024;
std::atomic<void*> large_blocks[8];
std::atomic<int> large_blocks_held{0};
}  // namespace

extern "C" void* __real_malloc(std::size_t size);   // NOLINT(bugprone-reserved-identifier)
extern "C" void* __wrap_malloc(std::size_t size) {  // NOLINT(bugprone-reserved-identifier)
  bytes_allocated += size;
  if (size >= large_block && large_mallocs_to_refuse.load() > 0) {
    --large_mallocs_to_refuse;
    ++large_mallocs_refused;
    return nullptr;
  }
  void* block = __real_malloc(size);
  for (std::atomic<void*>& slot : large_blocks) {
    void* empty = nullptr;
    if (block != nullptr && size >= large_block && slot.compare_exchange_strong(empty, block)) {
      ++large_blocks_held;
      break;
    }
  }
  if (block != nullptr) {
    // As a debugging allocator does: a field the library forgets to set
    // gives a wrong result, not a lucky zero from a fresh page.
    std::memset(block, 0xA5, size);
  }
  return block;
}
extern "C" void __real_free(void* block);  // NOLINT(bugprone-reserved-identifier)
// A memory stream of musl or wasi-libc that cannot grow takes part of a
// write and sets no error indicator; the next write the library makes here
// does the same while this is set.
std::atomic<bool> cut_next_write_short{false};
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" std::size_t __real_fwrite(const void* data, std::size_t size, std::size_t count,
                                     std::FILE* stream);
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" std::size_t __wrap_fwrite(const void* data, std::size_t size, std::size_t count,
                                     std::FILE* stream) {
  if (cut_next_write_short.exchange(false) && count > 1) {
    return __real_fwrite(data, size, count / 2, stream);
  }
  return __real_fwrite(data, size, count, stream);
}

extern "C" void __wrap_free(void* block) {  // NOLINT(bugprone-reserved-identifier)
  for (std::atomic<void*>& slot : large_blocks) {
    void* held = block;
    if (block != nullptr && slot.compare_exchange_strong(held, nullptr)) {
      --large_blocks_held;
      break;
    }
  }
  __real_free(block);
}
#endif

namespace {

using Bytes = std::vector<unsigned char>;

long process_id() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

struct StreamCloser {
  void operator()(std::FILE* stream) const { (void)std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// The helpers that open streams stop the test with a fatal failure rather
// than hand a null stream on; callers check with ASSERT_NO_FATAL_FAILURE.
void open_scratch(Stream& stream) {
  stream.reset(std::tmpfile());
  ASSERT_NE(stream, nullptr);
}

void open_holding(const Bytes& bytes, Stream& stream) {
  ASSERT_NO_FATAL_FAILURE(open_scratch(stream));
  if (!bytes.empty()) {  // an empty vector's data() may be null
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), stream.get()), bytes.size());
  }
  std::rewind(stream.get());
}

Bytes read_all(std::FILE* stream) {
  std::rewind(stream);
  Bytes bytes;
  for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
    bytes.push_back(static_cast<unsigned char>(c));
  }
  return bytes;
}

// Converts `input`; with a head size, its first bytes are handed over as
// already read and only the rest stays in the stream.
Bytes convert(const Bytes& input, std::size_t head_size = 0) {
  Stream in;
  Stream out;
  open_holding(Bytes(input.begin() + static_cast<std::ptrdiff_t>(head_size), input.end()), in);
  open_scratch(out);
  if (testing::Test::HasFatalFailure()) {
    return {};
  }
  if (head_size > 0) {
    vexlo::convert_palette(input.data(), head_size, in.get(), out.get());
  } else {
    vexlo::convert_palette(in.get(), out.get());
  }
  EXPECT_FALSE(std::ferror(in.get()));
  EXPECT_FALSE(std::ferror(out.get()));
  return read_all(out.get());
}

// Deterministic bytes that cover every value, so block boundaries fall
// inside entries with all kinds of content.
Bytes pattern(std::size_t size) {
  Bytes bytes(size);
  std::uint32_t state = 12345;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<unsigned char>(state >> 16);
  }
  return bytes;
}

// The colour words of whole entries, one entry at a time, low byte first.
Bytes expected_words(const Bytes& input) {
  Bytes words;
  for (std::size_t i = 0; i + 3 <= input.size(); i += 3) {
    const std::uint16_t word = vexlo::gba_color_from_rgb(input[i], input[i + 1], input[i + 2]);
    words.push_back(static_cast<unsigned char>(word & 0xFF));
    words.push_back(static_cast<unsigned char>(word >> 8));
  }
  return words;
}

struct ColourCase {
  unsigned char red, green, blue;
  unsigned char low, high;
};

const ColourCase colour_cases[] = {
    {0, 0, 0, 0x00, 0x00},       {255, 255, 255, 0xFF, 0x7F}, {248, 248, 248, 0xFF, 0x7F},
    {247, 247, 247, 0xDE, 0x7B}, {255, 0, 0, 0x1F, 0x00},     {0, 255, 0, 0xE0, 0x03},
    {0, 0, 255, 0x00, 0x7C},     {8, 0, 0, 0x01, 0x00},       {7, 7, 7, 0x00, 0x00},
    {0, 8, 0, 0x20, 0x00},       {0, 0, 8, 0x00, 0x04},       {128, 128, 128, 0x10, 0x42},
    {15, 16, 17, 0x41, 0x08},    {80, 0, 0, 0x0A, 0x00},      {13, 10, 26, 0x21, 0x0C},
    {10, 13, 26, 0x21, 0x0C},    {26, 26, 26, 0x63, 0x0C},
};

TEST(ColourRule, TruncatesEachChannelToFiveBitsInItsField) {
  for (const auto& c : colour_cases) {
    const std::uint16_t word = vexlo::gba_color_from_rgb(c.red, c.green, c.blue);
    EXPECT_EQ(word, c.low | (c.high << 8))
        << int(c.red) << ", " << int(c.green) << ", " << int(c.blue);
  }
}

TEST(ColourRule, NeverSetsBitFifteen) {
  for (int value = 0; value < 256; ++value) {
    const auto v = static_cast<std::uint8_t>(value);
    EXPECT_EQ(vexlo::gba_color_from_rgb(v, v, v) & 0x8000, 0) << value;
  }
}

TEST(ConvertPalette, WritesEachEntryAsLittleEndianWordInOrder) {
  Bytes input;
  Bytes expected;
  for (const auto& c : colour_cases) {
    input.insert(input.end(), {c.red, c.green, c.blue});
    expected.insert(expected.end(), {c.low, c.high});
  }
  EXPECT_EQ(convert(input), expected);
}

TEST(ConvertPalette, OutputLengthIsTwoBytesPerWholeEntry) {
  const std::size_t lengths[] = {0, 1, 2, 3, 4, 5, 6, 47, 48, 767, 768, 769, 770};
  for (const std::size_t length : lengths) {
    EXPECT_EQ(convert(pattern(length)).size(), 2 * (length / 3)) << length;
  }
}

TEST(ConvertPalette, DropsTrailingPartialEntryEvenOfMaximalBytes) {
  EXPECT_EQ(convert({255, 255, 255, 255, 255}), (Bytes{0xFF, 0x7F}));
  EXPECT_EQ(convert({0, 0, 0, 255}), (Bytes{0x00, 0x00}));
}

TEST(ConvertPalette, ConvertsLargeInputsAcrossBlockBoundaries) {
  // Sizes around the 4 KiB stream buffer, 64 KiB and the 192 KiB
  // (196608-byte) conversion block and its multiples: inputs that end on a block edge, an
  // entry or two either side of it, and with a trailing partial entry.
  const std::size_t lengths[] = {4095,   4096,   4097,   65535,  65536,  65537,
                                 98303,  98304,  98305,  98306,  131072, 196607,
                                 196608, 196609, 196610, 393216, 393217, 1000000};
  for (const std::size_t length : lengths) {
    const Bytes input = pattern(length);
    EXPECT_EQ(convert(input), expected_words(input)) << length;
  }
}

// Heads that end inside an entry, on the 12 bytes a signature takes, and
// on, before and past a block edge, with inputs shorter than the head too.
TEST(ConvertPalette, ConvertsHandedOverHeadBeforeTheRestOfTheStream) {
  const std::size_t head_sizes[] = {1, 2, 4, 12, 196607, 196608, 196609, 400000};
  for (const std::size_t length : {std::size_t{12}, std::size_t{13}, std::size_t{600001}}) {
    const Bytes input = pattern(length);
    for (const std::size_t head_size : head_sizes) {
      if (head_size <= length) {
        EXPECT_EQ(convert(input, head_size), expected_words(input))
            << length << " bytes, " << head_size << " of them handed over";
      }
    }
  }
}

TEST(PaletteFormat, NamesOnlyExactSignaturesOfOtherFormats) {
  const struct {
    const char* head;
    std::size_t size;
    const char* format;
  } cases[] = {
      {"JASC-PAL\r\n010", 12, "JASC-PAL"},
      {"JASC-PAL", 8, "JASC-PAL"},
      {"JASC-PA", 7, nullptr},
      {"jasc-pal\r\n010", 12, nullptr},
      {"RIFF\x10\x04\0\0PAL ", 12, "RIFF"},
      {"RIFF\x10\x04\0\0WAVE", 12, "RIFF form"},
      {"RIFF\x10\x04\0\0PAL", 11, nullptr},
      {"\0RIFF\x10\x04\0\0PAL ", 12, nullptr},
      {"GIMP Palette", 12, "GIMP"},
      {"GIMP Palett", 11, nullptr},
      {"GIMP palette", 12, nullptr},
      {"\xEF\xBB\xBFJASC-PAL\r\n01", 15, "JASC-PAL"},
      {"\xEF\xBB\xBFGIMP Palette", 15, "GIMP"},
      {"\xEF\xBB\xBFRIFF\x10\x04\0\0PAL ", 15, nullptr},
      {"\xEF\xBBJASC-PAL", 10, nullptr},
      {"\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 15, "PNG"},
      {"\x89png\r\n\x1A\n", 8, nullptr},
      {"GIF87a\x10\0", 8, "GIF"},
      {"GIF89a", 6, "GIF"},
      {"GIF89A", 6, nullptr},
      {"ASEF\0\1\0\0\0\0\0\x02", 12, "ASE"},
      {"ASEF\0\2\0\0", 8, "ASE"},
      {"ASEE\0\1\0\0", 8, nullptr},
      {"BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0", 18, "BMP"},
      {"BM\0\0\0\0\0\0\0\0\0\0\0\0\x29\0\0\0", 18, nullptr},
      {"BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\1", 18, nullptr},
      {"\xFF\xFE\x23\0\x30\0\x31\0\x32\0\x33\0\x34\0\x35\0\x36\0", 16, "hex list"},
      {"\xFF\xD8\xFF", 3, "JPEG"},
      {"XYZ1\x31\x41\x59\x26\x53\x59", 10, nullptr},
      {"BZh1\x31\x41\x59\x26\x53\x59", 10, "bzip2"},
      {"ID3\3\0\0\x80\0\0\0", 10, nullptr},
      {"RIFF\x10\0\0\0AB  ", 12, "RIFF form"},
      {"RIFF\x10\0\0\0AB~\x7F", 12, nullptr},
      {"P1 9 9", 6, "netpbm"},
      {"P1 5 x", 6, nullptr},
      {"P0 5 5", 6, nullptr},
      {"P8 5 5", 6, nullptr},
      {"\0\0\2\0\1\0\x10\x10\0\0\0\0\3\0\0\0\0\0\x16\0\0\0", 22, "CUR"},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\x08\0\0\0\0\0\x16\0\0\0", 22, "ICO"},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\0\0\0\0\x16\0\0\1", 22, nullptr},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\x08\1\0\0\0\0\x16\0\0\0", 22, nullptr},
      {"\0\0\1\0\1\0\x10\x10\0\0\0\1\x20\0\0\0\0\0\x16\0\0\0", 22, nullptr},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\3\0\0\0\0\0\x16\0\0\0", 22, nullptr},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\x10\0\0\0\0\0\x16\0\0\0", 22, "ICO"},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\1\0\0\0\0\0\x16\0\0\0", 22, "ICO"},
      {"\0\0\0\030ftypisoX", 12, nullptr},
      {"\0\0\0\030ftypisom", 12, "video"},
      {"\1\xDA\0\1\0\3\0\1\0\1\0\0", 12, nullptr},
      {"\1\xDA\0\1\0\3\0\1\0\1\0\5", 12, nullptr},
      {"\1\xDA\0\1\0\3\0\1\0\1\0\4", 12, "SGI"},
      {"\1\xDA\0\1\0\1\0\1\0\1\0\1", 12, "SGI"},
      {"\1\xDA\0\1\0\2\1\0\0\1\0\1", 12, "SGI"},
      {"\1\xDA\0\1\0\0\0\1\0\1\0\1", 12, nullptr},
      {"\1\xDA\1\1\0\3\0\1\0\1\0\3", 12, "SGI"},
      {"ID3\1\0\0\0\0\0\x7F", 10, nullptr},
      {"\0\0\1\0\1\0\x10\x10\0\0\1\0\x18\0\0\0\0\0\x16\0\0\0", 22, "ICO"},
      {"\0\0\0\x64\0\0\0\7\0\0\0\2\0\0\0\x20", 16, "XWD"},
      {"\0\0\0\x63\0\0\0\7\0\0\0\2\0\0\0\x18", 16, nullptr},
      {"\0\0\0\x64\0\0\0\7\0\0\0\2\0\0\0\1", 16, "XWD"},
      {"\x1B"
       "E\x1B*",
       4, "PCL"},
      {"\xB6\xA6\xF2\x08", 4, "VIPS"},
      {"CAT \0\0\0\4ABCD", 12, "IFF form"},
      {"ID3\3\xFF\0\0\0\0\x7F", 10, nullptr},
      {"\0\1\0\0\0\2\0\x20\0\1\0\0", 12, "font"},
      {"\0\0\0\x64\0\0\0\7\0\0\0\2\0\0\0\0", 16, nullptr},
      {"ID3\5\0\0\0\0\0\x7F", 10, nullptr},
      {"hello world\n", 12, nullptr},
      {"", 0, nullptr},
  };
  for (const auto& c : cases) {
    const auto* head = reinterpret_cast<const unsigned char*>(c.head);
    EXPECT_STREQ(vexlo::other_palette_format(head, c.size), c.format) << c.head;
    EXPECT_EQ(vexlo::other_format_description(head, c.size) == nullptr, c.format == nullptr);
  }
}

// An Adobe colour table (.act) of 772 bytes ends in a big-endian colour
// count and transparent index; only a whole input of that length whose
// trailer is in range is cut to its count, from a file or a pipe alike.
TEST(ConvertPalette, HonoursAdobeColourTableTrailerOnlyWhereValid) {
  const struct {
    std::size_t length;
    unsigned count, transparent;
    std::size_t words;
  } cases[] = {
      {772, 16, 0, 16},   {772, 256, 0xFFFF, 256}, {772, 1, 255, 1},       {772, 0, 0, 257},
      {772, 257, 0, 257}, {772, 16, 256, 257},     {772, 16, 0xFFFE, 257}, {771, 16, 0, 257},
      {773, 16, 0, 257},  {775, 16, 0xFFFF, 258},
  };
  for (const auto& c : cases) {
    Bytes input = pattern(c.length);
    const unsigned char trailer[] = {
        static_cast<unsigned char>(c.count >> 8), static_cast<unsigned char>(c.count),
        static_cast<unsigned char>(c.transparent >> 8), static_cast<unsigned char>(c.transparent)};
    std::copy(trailer, trailer + std::min<std::size_t>(4, c.length - 768), input.begin() + 768);
    const Bytes expected = expected_words(
        Bytes(input.begin(), input.begin() + 3 * static_cast<std::ptrdiff_t>(c.words)));
    for (const std::size_t head_size : {std::size_t{0}, std::size_t{15}}) {
      EXPECT_EQ(convert(input, head_size), expected)
          << c.length << " bytes, count " << c.count << ", index " << c.transparent;
    }
  }
  // After a full first block the same 772 bytes are entries like any others.
  Bytes input = pattern(196608 + 772);
  const unsigned char trailer[] = {0, 16, 0, 0};
  std::copy(trailer, trailer + 4, input.begin() + 196608 + 768);
  EXPECT_EQ(convert(input), expected_words(input));
}

#ifdef VEXLO_TEST_HAS_PTHREADS
struct Conversion {
  std::FILE* input;
  std::FILE* output;
};

void* run_conversion(void* conversion) {
  const auto* streams = static_cast<Conversion*>(conversion);
  vexlo::convert_palette(streams->input, streams->output);
  return nullptr;
}
#endif

// Programs embed the library on threads with small stacks (64 KiB to 128 KiB
// are common); the conversion must fit in them, also when the heap cannot
// spare it a block.
TEST(ConvertPalette, RunsOnThreadWithSmallStack) {
#ifndef VEXLO_TEST_HAS_PTHREADS
  GTEST_SKIP() << "no POSIX threads to set a stack size with";
#else
  std::size_t stack_size = std::size_t{64} * 1024;
#ifdef PTHREAD_STACK_MIN
  stack_size = std::max<std::size_t>(stack_size, PTHREAD_STACK_MIN);
#endif
  const Bytes input = pattern(300001);  // several blocks of either size
  for (const bool refuse_heap : {false, true}) {
#ifdef VEXLO_TEST_WRAPS_MALLOC
    large_mallocs_to_refuse = refuse_heap ? 1 : 0;
    large_mallocs_refused = 0;
#else
    if (refuse_heap) {
      continue;  // no way to make the allocation fail here
    }
#endif
    Stream in;
    Stream out;
    ASSERT_NO_FATAL_FAILURE(open_holding(input, in));
    ASSERT_NO_FATAL_FAILURE(open_scratch(out));
    Conversion conversion{in.get(), out.get()};
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stack_size), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, run_conversion, &conversion), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    (void)pthread_attr_destroy(&attributes);
    EXPECT_EQ(read_all(out.get()), expected_words(input)) << "refuse heap: " << refuse_heap;
#ifdef VEXLO_TEST_WRAPS_MALLOC
    EXPECT_EQ(large_mallocs_refused.load(), refuse_heap ? 1 : 0);
#endif
  }
#endif
}

// A stream whose every read fails (opened only for writing) or whose every
// write fails (opened only for reading), on a file of its own. The process
// id in its name keeps two test runs at once apart.
void open_on_own_file(const char* name, const char* mode, Stream& stream) {
  const std::string unique_name = std::to_string(process_id()) + "-" + name;
  const std::string path = (std::filesystem::temp_directory_path() / unique_name).string();
  Stream create(std::fopen(path.c_str(), "wb"));
  ASSERT_NE(create, nullptr);
  create.reset();
  stream.reset(std::fopen(path.c_str(), mode));
  (void)std::remove(path.c_str());  // the open stream keeps it where that is allowed
  ASSERT_NE(stream, nullptr);
}

TEST(ConvertPalette, StopsAndLeavesErrorIndicatorWhenInputCannotBeRead) {
  Stream write_only;
  Stream out;
  ASSERT_NO_FATAL_FAILURE(open_on_own_file("vexlo-test-unreadable.pal", "wb", write_only));
  ASSERT_NO_FATAL_FAILURE(open_scratch(out));
  vexlo::convert_palette(write_only.get(), out.get());
  EXPECT_TRUE(read_all(out.get()).empty());
#ifndef _WIN32
  // wine's C library fails such a read without setting either indicator.
  EXPECT_TRUE(std::ferror(write_only.get()));
#endif
}

TEST(ConvertPalette, StopsReadingOnceAWriteHasFailed) {
  const Bytes input = pattern(std::size_t{3} * 1000000);
  Stream in;
  Stream read_only;
  ASSERT_NO_FATAL_FAILURE(open_holding(input, in));
  ASSERT_NO_FATAL_FAILURE(open_on_own_file("vexlo-test-unwritable.gba", "rb", read_only));
  vexlo::convert_palette(in.get(), read_only.get());
  EXPECT_TRUE(std::ferror(read_only.get()));
  EXPECT_LT(std::ftell(in.get()), static_cast<long>(input.size()));
}

}  // namespace

namespace {

// Converts `input` by its recognised format; `words` holds the output even
// when the run was refused part way, `allocated` the heap bytes the
// conversion asked for (0 where they cannot be counted).
vexlo::palette_result convert_any(const std::string& input, Bytes& words, std::string& refusal,
                                  std::size_t& allocated) {
  Stream in;
  Stream out;
  open_holding(Bytes(input.begin(), input.end()), in);
  open_scratch(out);
  vexlo::palette_refusal why{};
#ifdef VEXLO_TEST_WRAPS_MALLOC
  const std::size_t before = bytes_allocated.load();
  const int held_before = large_blocks_held.load();
#endif
  const vexlo::palette_result result = vexlo::convert_any_palette(in.get(), out.get(), why);
#ifdef VEXLO_TEST_WRAPS_MALLOC
  allocated = bytes_allocated.load() - before;
  EXPECT_EQ(large_blocks_held.load(), held_before) << "the conversion kept heap blocks";
#else
  allocated = 0;
#endif
  words = read_all(out.get());
  refusal = result == vexlo::palette_result::refused ? why.text : "";
  EXPECT_EQ(std::fgetc(in.get()), EOF) << "the input was not read to its end";
  return result;
}

std::string jasc_pal(std::size_t count, std::size_t lines, const char* line) {
  std::string text = "JASC-PAL\r\n0100\r\n" + std::to_string(count) + "\r\n";
  for (std::size_t i = 0; i < lines; ++i) {
    text += line;
  }
  return text;
}

// An Aseprite sprite of one frame that holds 16 MiB of another chunk before
// its palette of one colour, 8 16 24.
std::string aseprite_with_large_frame() {
  const auto little_endian = [](std::size_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) {
      bytes += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
  };
  const std::size_t filler = std::size_t{1} << 24;
  const std::string chunks = little_endian(6 + filler, 4) + little_endian(0x2020, 2) +
                             std::string(filler, '\0') + little_endian(32, 4) +
                             little_endian(0x2019, 2) + little_endian(1, 4) +
                             std::string(16, '\0') + std::string("\0\0\x08\x10\x18\xFF", 6);
  std::string header(128, '\0');
  header.replace(4, 10, std::string("\xE0\xA5\1\0\1\0\1\0\x08\0", 10));
  return header + little_endian(16 + chunks.size(), 4) + "\xFA\xF1" + little_endian(2, 2) +
         little_endian(100, 4) + little_endian(2, 4) + chunks;
}

// What the command's end-to-end table cannot show: palettes longer than the
// colours read before the output opens or than the first read, and lines
// longer than a line buffer, each in no more heap than a 1-colour palette
// takes (which may include the C library's own first allocations).
TEST(ConvertAnyPalette, StreamsLongPalettesAndLinesInFixedMemory) {
  std::string hex_list;
  for (int i = 0; i < 9362; ++i) {
    hex_list += "081018\n";
  }
  hex_list += "\n\n";  // 65536 bytes, the first read, exactly
  Bytes one_word;
  std::string no_refusal;
  std::size_t heap_for_one = 0;
  convert_any(jasc_pal(1, 1, "8 16 24\r\n"), one_word, no_refusal, heap_for_one);
  const std::string long_name(200000, 'x');
  const struct {
    std::string input;
    vexlo::palette_result result;
    std::size_t words;
    const char* refusal;
  } cases[] = {
      {jasc_pal(200000, 200000, "8 16 24\r\n"), vexlo::palette_result::converted, 200000, ""},
      {jasc_pal(65536, 65536, "8 16 24\n"), vexlo::palette_result::converted, 65536, ""},
      {jasc_pal(70000, 69999, "8 16 24\n"), vexlo::palette_result::refused, 65536,
       "is not a valid JASC-PAL palette: line 70003: the file ends before the count of colours"},
      {"GIMP Palette\n8 16 24 " + long_name + "\n8 16 24\n", vexlo::palette_result::converted, 2,
       ""},
      {"JASC-PAL\n0100\n1\n8 16 24" + std::string(5000, ' ') + "9 9\n",
       vexlo::palette_result::refused, 0,
       "is not a valid JASC-PAL palette: line 4: not three or four numbers"},
      {hex_list, vexlo::palette_result::converted, 9362, ""},
      {hex_list + "#081018\r\n", vexlo::palette_result::converted, 9363, ""},
      {aseprite_with_large_frame(), vexlo::palette_result::converted, 1, ""},
      // An image's table, then more pixels than the first read holds.
      {std::string("GIF89a\1\0\1\0\x80\0\0\x08\x10\x18\x08\x10\x18", 19) + std::string(100000, ';'),
       vexlo::palette_result::converted, 2, ""},
  };
  for (const auto& c : cases) {
    Bytes words;
    std::string refusal;
    std::size_t heap = 0;
    EXPECT_EQ(convert_any(c.input, words, refusal, heap), c.result) << c.input.substr(0, 40);
    EXPECT_LE(heap, heap_for_one) << c.input.substr(0, 40);
    EXPECT_EQ(words.size(), 2 * c.words) << c.input.substr(0, 40);
    EXPECT_EQ(refusal, c.refusal);
    for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
      ASSERT_EQ(words[i] | words[i + 1] << 8, 0x0C41) << "word " << i / 2;
    }
  }
}

TEST(ConvertAnyPalette, ReportsAWriteThatFailsPartWay) {
  const std::string input = jasc_pal(70000, 70000, "8 16 24\n");
  Stream in;
  Stream read_only;
  ASSERT_NO_FATAL_FAILURE(open_holding(Bytes(input.begin(), input.end()), in));
  ASSERT_NO_FATAL_FAILURE(open_on_own_file("vexlo-test-unwritable-text.gba", "rb", read_only));
  vexlo::palette_refusal why{};
  EXPECT_EQ(vexlo::convert_any_palette(in.get(), read_only.get(), why),
            vexlo::palette_result::write_failed);
}

#ifdef VEXLO_TEST_WRAPS_MALLOC
TEST(ConvertAnyPalette, ReportsAShortWriteWithoutErrorIndicator) {
  for (const std::string input : {"\x0d\x0a\x1a\x0d\x0a\x1a", "ff0000\n00ff00\n"}) {
    Stream in;
    Stream out;
    ASSERT_NO_FATAL_FAILURE(open_holding(Bytes(input.begin(), input.end()), in));
    ASSERT_NO_FATAL_FAILURE(open_scratch(out));
    vexlo::palette_refusal why{};
    cut_next_write_short = true;
    EXPECT_EQ(vexlo::convert_any_palette(in.get(), out.get(), why),
              vexlo::palette_result::write_failed)
        << input;
    EXPECT_EQ(read_all(out.get()).size(), 2u);
  }
  // The colours of a Kelvo palette, as the file holds them, too.
  Stream in;
  Stream out;
  ASSERT_NO_FATAL_FAILURE(open_holding(Bytes{0x0d, 0x0a, 0x1a, 0x0d, 0x0a, 0x1a}, in));
  ASSERT_NO_FATAL_FAILURE(open_scratch(out));
  vexlo::palette_source* source = nullptr;
  vexlo::palette_refusal why{};
  ASSERT_EQ(vexlo::open_palette_colours(in.get(), &source, why), vexlo::palette_result::converted);
  cut_next_write_short = true;
  EXPECT_EQ(vexlo::convert_open_palette(source, out.get(), why),
            vexlo::palette_result::write_failed);
}
#endif

// The colours as the file holds them: one for each word, each giving it.
TEST(OpenPaletteColours, GivesTheColourOfEveryWord) {
  const Bytes act = pattern(772);
  // An Aseprite sprite of one frame with an old chunk of six-bit colours.
  std::string sprite(157, '\0');
  sprite.replace(4, 2, "\xE0\xA5");
  sprite.replace(128, 8, "\x1D\0\0\0\xFA\xF1\1\0", 8);
  sprite.replace(144, 13, "\x0D\0\0\0\x11\0\1\0\0\1\x3F\x10\x04", 13);
  const struct {
    std::string input;
    std::string colours;  // the first ones
  } cases[] = {
      {"\x0d\x0a\x1a\xff\x80\x07\x01", "\x0d\x0a\x1a\xff\x80\x07"},
      {"\x0d\x0a\x1a", "\x0d\x0a\x1a"},
      {std::string(act.begin(), act.end()), std::string(act.begin(), act.begin() + 6)},
      {"GIMP Palette\n13 10 26\n255 128 7\n", "\x0d\x0a\x1a\xff\x80\x07"},
      {std::string("\0\1\1\2\0\1\0\x18\0\0\0\0\1\0\1\0\x08\0\x1a\x0a\x0d\2", 22),
       std::string("\0\0\0\0\0\0\x0d\x0a\x1a", 9)},
      {sprite, "\xFF\x41\x10"},
      // a TGA whose first entry, 50000, is past a block of colours
      {std::string("\0\1\1\x50\xC3\1\0\x18\0\0\0\0\1\0\1\0\x10\0\x1a\x0a\x0d\0\0", 23),
       std::string(3, '\0')},
      {std::string("ASEF\0\1\0\0\0\0\0\1\0\1\0\0\0\x1c\0\4\0R\0e\0d\0\0RGB "
                   "\x3f\x80\0\0\0\0\0\0\0\0\0\0\0\2",
                   46),
       std::string("\xFF\0\0", 3)},
  };
  for (const auto& c : cases) {
    Bytes words;
    std::string refusal;
    std::size_t heap = 0;
    ASSERT_EQ(convert_any(c.input, words, refusal, heap), vexlo::palette_result::converted);
    Stream in;
    Stream out;
    ASSERT_NO_FATAL_FAILURE(open_holding(Bytes(c.input.begin(), c.input.end()), in));
    ASSERT_NO_FATAL_FAILURE(open_scratch(out));
    vexlo::palette_source* source = nullptr;
    vexlo::palette_refusal why{};
    ASSERT_EQ(vexlo::open_palette_colours(in.get(), &source, why),
              vexlo::palette_result::converted);
    ASSERT_EQ(vexlo::convert_open_palette(source, out.get(), why),
              vexlo::palette_result::converted);
    const Bytes colours = read_all(out.get());
    ASSERT_EQ(colours.size(), words.size() / 2 * 3) << c.input;
    EXPECT_EQ(std::string(colours.begin(),
                          colours.begin() + static_cast<std::ptrdiff_t>(c.colours.size())),
              c.colours);
    for (std::size_t i = 0; i < words.size() / 2; ++i) {
      ASSERT_EQ(vexlo::gba_color_from_rgb(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]),
                words[2 * i] | words[2 * i + 1] << 8)
          << "colour " << i;
    }
  }
}

// Raw input keeps the Kelvo conversion, trailer rule and all.
TEST(ConvertAnyPalette, ConvertsUnrecognisedBytesAsKelvoPalette) {
  for (const std::size_t length : {std::size_t{0}, std::size_t{772}, std::size_t{300001}}) {
    const Bytes input = pattern(length);
    Bytes words;
    std::string refusal;
    std::size_t heap = 0;
    EXPECT_EQ(convert_any(std::string(input.begin(), input.end()), words, refusal, heap),
              vexlo::palette_result::converted);
    EXPECT_EQ(words, convert(input)) << length;
  }
}

}  // namespace
