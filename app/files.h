#ifndef VEXLO_FILES_H
#define VEXLO_FILES_H

// The file operations whose means differ by system; files_posix.cpp and
// files_windows.cpp each implement all of them.

#include <cstdio>

// Opens a palette for binary reading; a directory is not one, even where
// the C library opens it.
std::FILE* open_input(const char* path);

// Whether `output_path` names the opened input by the system's identity of
// files (not by comparing names): opening it for writing would truncate the
// palette before it is read.
bool same_file(std::FILE* input, const char* output_path);

// Creates or truncates the output for binary writing, unbuffered: the
// conversion writes whole blocks.
std::FILE* open_output(const char* path);

// Closes the output. When `discard` is set, or the close fails, the file the
// run wrote is emptied and dated to 1970 through the open stream, so that no
// build takes it for a finished palette, and its name is removed if it still
// names that file. Nothing else is touched. Returns whether the close
// succeeded.
bool close_output(std::FILE* output, const char* path, bool discard);

// Past a file size limit (ulimit -f) a writer is killed unless it ignores
// the signal; ignored, the write fails and is reported like a full disk.
void keep_running_at_file_size_limit();

#endif
