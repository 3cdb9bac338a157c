#ifndef VEXLO_FILES_H
#define VEXLO_FILES_H

// The file operations whose means differ by system; files_posix.cpp and
// files_windows.cpp each implement all of them.

#include <cstdio>

// Opens a palette for binary reading; a directory is not one, even where
// the C library opens it.
std::FILE* open_input(const char* path);

// Opens the output for binary writing, unbuffered (the conversion writes
// whole blocks), without emptying it, and checks that the opened file does
// not reach the input: not the same file by the system's identity, not the
// same pipe, not a device that holds the input or its file system, and not
// a file in a file system whose storage the input is. Where it does,
// `same_as_input` is set, the file is left as it was (removed, where this
// run created it) and nullptr is returned; nullptr alone means it could not
// be opened. The output stays locked against other runs of vexlo until
// close_output: a second run on it waits for the first.
std::FILE* open_output(const char* path, std::FILE* input, bool& same_as_input);

// Reads up to `size` bytes from the start of the opened output, the same
// file whatever its name names meanwhile; 0 for anything but a regular file
// that holds bytes and that the user may read.
std::size_t read_output_start(std::FILE* output, const char* path, unsigned char* bytes,
                              std::size_t size);

// Empties the opened output; false where that fails.
bool empty_output(std::FILE* output);

// Closes the output. When `discard` is set, or the close fails, the file the
// run wrote is emptied and dated to 1970 through the descriptor it was
// written with, so that no build takes it for a finished palette, and its
// name is removed if it still names that file. Nothing else is touched.
// Returns whether the close succeeded.
bool close_output(std::FILE* output, const char* path, bool discard);

// A write past a file size limit (ulimit -f) or into a pipe nobody reads
// kills a writer unless it ignores the signal; ignored, the write fails and
// is reported like a full disk.
void keep_running_when_writes_fail();

#endif
