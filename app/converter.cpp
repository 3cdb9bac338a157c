#include "converter.h"

#include <cstdarg>
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
// an argument, never the format), and the failure status. The compiler
// checks each call's arguments against its format.
[[gnu::format(printf, 1, 2)]] int fail(const char* format, ...) {
  print_banner();
  va_list arguments;
  va_start(arguments, format);
  (void)std::vprintf(format, arguments);
  va_end(arguments);
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
  keep_running_when_writes_fail();

  std::FILE* input = open_input(input_path);
  if (input == nullptr) {
    return fail("vexlo.exe - error opening %s\n", input_path);
  }
  // The format, and a damaged or unreadable input, are known before the
  // output is touched.
  vexlo::palette_refusal refusal{};
  vexlo::palette_source* palette = nullptr;
  const vexlo::palette_result opened = vexlo::open_palette(input, &palette, refusal);
  if (opened != vexlo::palette_result::converted) {
    close_input(input);
    return opened == vexlo::palette_result::read_failed
               ? fail("vexlo.exe - error reading %s\n", input_path)
               : fail("vexlo.exe - error: %s %s\n", input_path, refusal.text);
  }
  bool same_as_input = false;
  std::FILE* output = open_output(output_path, input, same_as_input);
  if (output == nullptr) {
    vexlo::close_palette(palette);
    close_input(input);
    return same_as_input ? fail("vexlo.exe - error: %s is both input and output\n", output_path)
                         : fail("vexlo.exe - error creating %s\n", output_path);
  }
  // A palette or image already there is most likely the input of a run
  // whose operands were swapped: it is left as it is.
  unsigned char existing[vexlo::format_signature_size];
  const char* existing_format = vexlo::other_format_description(
      existing, read_output_start(output, output_path, existing, sizeof existing));
  if (existing_format != nullptr || !empty_output(output)) {
    (void)std::fclose(output);
    vexlo::close_palette(palette);
    close_input(input);
    return existing_format != nullptr
               ? fail("vexlo.exe - error: %s is %s; vexlo does not overwrite it\n", output_path,
                      existing_format)
               : fail("vexlo.exe - error creating %s\n", output_path);
  }

  const vexlo::palette_result converted = vexlo::convert_open_palette(palette, output, refusal);

  // A close can still fail (a network file system reports late).
  const bool close_failed =
      !close_output(output, output_path, converted != vexlo::palette_result::converted);
  close_input(input);
  switch (converted) {
    case vexlo::palette_result::read_failed:
      return fail("vexlo.exe - error reading %s\n", input_path);
    case vexlo::palette_result::refused:
      return fail("vexlo.exe - error: %s %s\n", input_path, refusal.text);
    case vexlo::palette_result::write_failed:
      return fail("vexlo.exe - error writing %s\n", output_path);
    case vexlo::palette_result::converted:
      break;
  }
  return close_failed ? fail("vexlo.exe - error writing %s\n", output_path) : exit_success;
}
