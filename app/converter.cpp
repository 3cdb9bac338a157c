#include "converter.h"

#include <cstdio>

#include "files.h"
#include "vexlo/palette.h"

namespace {

// A stream opened only for reading has nothing to flush: its close cannot
// lose data, so its result does not matter.
void close_input(std::FILE* input) { (void)std::fclose(input); }

void print_banner() { std::printf("Kelvo pal to GBA pal converter\n"); }

void print_usage() {
  print_banner();
  std::printf("vexlo.exe - usage:\n\n");
  std::printf("vexlo in.pal out.pal\n");
}

// Every failure: the banner, one message naming the path concerned (always
// an argument, never the format), and the failure status.
int fail(const char* message, const char* path) {
  print_banner();
  std::printf(message, path);
  return exit_failure;
}

int fail_as_other_format(const char* path, const char* format) {
  print_banner();
  std::printf("vexlo.exe - error: %s is %s, not a Kelvo palette\n", path, format);
  return exit_failure;
}

}  // namespace

int run_converter(int argc, char** argv) {
  if (argc != 3) {
    print_usage();
    return exit_failure;
  }
  const char* input_path = argv[1];
  const char* output_path = argv[2];
  keep_running_at_file_size_limit();

  std::FILE* input = open_input(input_path);
  if (input == nullptr) {
    return fail("vexlo.exe - error opening %s\n", input_path);
  }
  if (same_file(input, output_path)) {
    close_input(input);
    return fail("vexlo.exe - error: %s is both input and output\n", output_path);
  }
  // The first bytes tell an unreadable input, or a file of another format,
  // apart before the output is touched; they are then converted with the
  // rest, so a pipe streams as any file does.
  unsigned char head[vexlo::format_signature_size];
  const std::size_t head_size = std::fread(head, 1, sizeof head, input);
  if (std::ferror(input) != 0) {
    close_input(input);
    return fail("vexlo.exe - error reading %s\n", input_path);
  }
  if (const char* format = vexlo::other_format_description(head, head_size)) {
    close_input(input);
    return fail_as_other_format(input_path, format);
  }
  std::FILE* output = open_output(output_path);
  if (output == nullptr) {
    close_input(input);
    return fail("vexlo.exe - error creating %s\n", output_path);
  }

  vexlo::convert_palette(head, head_size, input, output);

  const bool read_failed = std::ferror(input) != 0;
  const bool write_failed = std::ferror(output) != 0;
  // A close can still fail (a network file system reports late).
  const bool close_failed = !close_output(output, output_path, read_failed || write_failed);
  close_input(input);
  if (read_failed) {
    return fail("vexlo.exe - error reading %s\n", input_path);
  }
  if (write_failed || close_failed) {
    return fail("vexlo.exe - error writing %s\n", output_path);
  }
  return exit_success;
}
