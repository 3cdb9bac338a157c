#ifndef VEXLO_CONVERTER_H
#define VEXLO_CONVERTER_H

// Exit statuses of the command; -1 shows as 255 where only 8 bits are kept.
constexpr int exit_success = 0;
constexpr int exit_failure = -1;

// Runs `vexlo in.pal out.pal` on an unchanged argument vector, prints any
// failure on standard output and returns the exit status.
int run_converter(int argc, char** argv);

#endif
