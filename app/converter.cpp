#include "converter.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/types.h>
// fopen on a 32-bit system refuses files over 2 GiB unless file offsets are
// 64 bits wide. An emulator on a 64-bit host lets such opens through anyway,
// so the build checks it.
static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");
#endif

#include "vexlo/palette.h"

namespace fs = std::filesystem;

namespace {

// An operand as the file system library sees it. On Windows its manifest
// makes the process code page UTF-8 (from Windows 10 version 1903), but the
// library decodes a narrow string by another code page and would miss files
// named outside ASCII; older systems still hand operands over in their ANSI
// code page. Elsewhere a name is the byte string it is, UTF-8 or not.
fs::path path_of(const char* operand) {
#ifdef _WIN32
  if (GetACP() == CP_UTF8) {
    return fs::u8path(operand);
  }
#endif
  return fs::path(operand);
}

// A stream opened only for reading has nothing to flush: its close cannot
// lose data, so its result does not matter.
void close_input(std::FILE* input) { (void)std::fclose(input); }

void print_banner() { std::printf("Kelvo pal to GBA pal converter\n"); }

void print_usage() {
  print_banner();
  std::printf("vexlo.exe - usage:\n\n");
  std::printf("vexlo in.pal out.pal\n");
}

// Some C libraries open a directory for reading; it is still no palette.
std::FILE* open_input(const char* path) {
  std::FILE* input = std::fopen(path, "rb");
  std::error_code error;
  if (input != nullptr && fs::is_directory(path_of(path), error)) {
    close_input(input);
    return nullptr;
  }
  return input;
}

// Opening the output truncates it, so an output that is the input under
// another name (a link, another spelling) would be lost before it is read.
bool same_file(const char* input_path, const char* output_path) {
  std::error_code error;
  return fs::equivalent(path_of(input_path), path_of(output_path), error);
}

// A half-written palette must not pass for a finished one. Devices and
// pipes are left alone; through a symbolic link, the file written is removed.
void remove_partial_output(const char* path) {
  std::error_code error;
  const fs::path written = fs::canonical(path_of(path), error);
  if (!error && fs::is_regular_file(written, error)) {
    fs::remove(written, error);
  }
}

}  // namespace

int run_converter(int argc, char** argv) {
  if (argc != 3) {
    print_usage();
    return exit_failure;
  }
  const char* input_path = argv[1];
  const char* output_path = argv[2];

  std::FILE* input = open_input(input_path);
  if (input == nullptr) {
    print_banner();
    std::printf("vexlo.exe - error opening %s\n", input_path);
    return exit_failure;
  }
  if (same_file(input_path, output_path)) {
    close_input(input);
    print_banner();
    std::printf("vexlo.exe - error: %s is both input and output\n", output_path);
    return exit_failure;
  }
  std::FILE* output = std::fopen(output_path, "wb");
  if (output == nullptr) {
    close_input(input);
    print_banner();
    std::printf("vexlo.exe - error creating %s\n", output_path);
    return exit_failure;
  }

  vexlo::convert_palette(input, output);

  const bool read_failed = std::ferror(input) != 0;
  const bool write_error = std::ferror(output) != 0;
  // Buffered data often fails only when the close flushes it.
  const bool close_failed = std::fclose(output) != 0;
  const bool write_failed = write_error || close_failed;
  close_input(input);

  if (read_failed || write_failed) {
    remove_partial_output(output_path);
    print_banner();
    if (read_failed) {
      std::printf("vexlo.exe - error reading %s\n", input_path);
    } else {
      std::printf("vexlo.exe - error writing %s\n", output_path);
    }
    return exit_failure;
  }
  return exit_success;
}
