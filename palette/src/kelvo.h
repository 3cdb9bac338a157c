// The Kelvo conversion as the library's own callers use it.
#ifndef VEXLO_KELVO_H
#define VEXLO_KELVO_H

#include <cstddef>
#include <cstdio>

namespace vexlo::detail {

// convert_palette, and whether every word was written: a C library may
// return a short fwrite without setting the stream's error indicator (a
// memory stream that cannot grow, in musl and wasi-libc). `as_colours`
// writes the entries that would be converted instead of their words.
bool convert_kelvo_palette(const unsigned char* head, std::size_t head_size, std::FILE* input,
                           std::FILE* output, bool as_colours);

}  // namespace vexlo::detail

#endif
