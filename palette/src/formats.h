// Recognition of an input's format from its first bytes.
#ifndef VEXLO_FORMATS_H
#define VEXLO_FORMATS_H

#include "palette_reader.h"

namespace vexlo::detail {

// Characters of a UTF-16 head that recognition looks at.
constexpr std::size_t text_head_capacity = 4096;

// The head as recognition sees it, its text encoding worked out from its
// byte order mark; a UTF-16 head is turned into bytes in `text`.
format_head make_format_head(const unsigned char* bytes, std::size_t size, bool whole_input,
                             unsigned char (&text)[text_head_capacity]);

// The formats in the order they are tried; nullptr where none is the input's.
const palette_format* recognised_format(const format_head& head);

// Whether the input's first bytes are text: printable characters, tabs and
// line ends in UTF-8 or (after its byte order mark) UTF-16, with at least
// one line end.
bool is_plain_text(const format_head& head);

}  // namespace vexlo::detail

#endif
