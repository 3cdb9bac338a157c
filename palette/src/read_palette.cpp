// Palettes of any format: recognised from their first bytes, read through the
// format's reader, and converted by the colour rule in blocks.
#include <cstdlib>
#include <cstring>

#include "aligned_block.h"
#include "formats.h"
#include "kelvo.h"
#include "reader_toolkit.h"
#include "vexlo/palette.h"

namespace vexlo {

namespace {

using detail::palette_format;
using detail::step;

// The first read takes this much: enough for every signature, and for the
// plain-text rule to see lines. Colours wait in a block of words until the
// output is open: the whole palette of any image or RIFF file, the first
// 65536 of a text one.
constexpr std::size_t head_capacity = format_signature_size;
constexpr std::size_t word_capacity = 65536;

}  // namespace

struct palette_source {
  // First, so that both blocks start on a page.
  unsigned char bytes[head_capacity];
  unsigned char words[word_capacity * gba_word_size];
  void* allocation;
  const palette_format* format;  // nullptr for a Kelvo palette
  std::size_t colour_size;       // bytes a colour takes in `words`: a word, or red, green, blue
  detail::reader_state state;
  step last;  // what ended the last run of colours
  std::size_t word_count;
};

namespace {

void refuse(palette_refusal& refusal, const char* first, const char* second = "",
            const char* third = "", const char* fourth = "") {
  (void)std::snprintf(refusal.text, sizeof refusal.text, "%s%s%s%s", first, second, third, fourth);
}

// Converts colours into the block of words until it is full or the reader
// stops; `last` says why it stopped.
void read_colours(palette_source& source) {
  detail::rgb colour{};
  const std::size_t capacity = sizeof source.words / source.colour_size;
  while (source.word_count < capacity) {
    if (source.state.black_before_first > 0) {
      --source.state.black_before_first;
      colour = {};
    } else if ((source.last = source.format->next_colour(source.state, colour)) != step::colour) {
      return;
    }
    unsigned char* at = source.words + source.colour_size * source.word_count;
    if (source.colour_size == gba_word_size) {
      const std::uint16_t word = gba_color_from_rgb(colour.red, colour.green, colour.blue);
      at[0] = static_cast<unsigned char>(word & 0xFFu);
      at[1] = static_cast<unsigned char>(word >> 8);
    } else {
      at[0] = colour.red;
      at[1] = colour.green;
      at[2] = colour.blue;
    }
    ++source.word_count;
  }
  source.last = step::colour;
}

// What the reader's stop means for the run.
palette_result outcome_of_stop(const palette_source& source, palette_refusal& refusal) {
  if (std::ferror(source.state.input.stream) != 0) {
    return palette_result::read_failed;
  }
  if (source.last == step::invalid) {
    refuse(refusal, "is not a valid ", source.format->kind, ": ", source.state.reason);
    return palette_result::refused;
  }
  if (source.last == step::no_palette) {
    refuse(refusal, "is ", source.format->name, " without a palette: save it as an indexed PNG");
    return palette_result::refused;
  }
  if (source.last == step::unsupported) {
    refuse(refusal, "is ", source.format->name,
           " with a colour vexlo cannot convert: ", source.state.reason);
    return palette_result::refused;
  }
  return palette_result::converted;
}

// Recognises the format of the bytes in the buffer: nullptr for a Kelvo
// palette, or a refusal.
palette_result recognise(palette_source& source, palette_refusal& refusal) {
  const unsigned char* head = source.bytes;
  const std::size_t head_size = source.state.input.filled;
  const bool whole_input = head_size < head_capacity;
  unsigned char text[detail::text_head_capacity];
  const detail::format_head format_head =
      detail::make_format_head(head, head_size, whole_input, text);
  source.format = detail::recognised_format(format_head);
  if (source.format != nullptr && source.format->next_colour == nullptr) {
    refuse(refusal, "is ", source.format->name, source.format->advice);
    return palette_result::refused;
  }
  if (source.format == nullptr && detail::is_plain_text(format_head)) {
    refuse(refusal, "is text in no palette format that vexlo reads");
    return palette_result::refused;
  }
  source.state.encoding = format_head.encoding;
  return palette_result::converted;
}

palette_result open_source(std::FILE* input, palette_source** opened, palette_refusal& refusal,
                           std::size_t colour_size) {
  *opened = nullptr;
  void* allocation = nullptr;
  auto* source =
      static_cast<palette_source*>(detail::allocate_aligned(sizeof(palette_source), allocation));
  if (source == nullptr) {
    return palette_result::read_failed;  // nothing could be read into
  }
  source->allocation = allocation;
  source->colour_size = colour_size;
  source->state = {};
  source->state.input = {input, source->bytes, head_capacity, 0, 0, 0};
  source->word_count = 0;
  (void)detail::refill(source->state.input);
  palette_result result =
      std::ferror(input) != 0 ? palette_result::read_failed : recognise(*source, refusal);
  if (result == palette_result::converted && source->format != nullptr) {
    // The reader reads the buffer again from its start.
    source->last =
        source->format->start != nullptr ? source->format->start(source->state) : step::ready;
    if (source->last == step::ready) {
      read_colours(*source);
    }
    result = outcome_of_stop(*source, refusal);
  }
  if (result != palette_result::converted) {
    close_palette(source);
    return result;
  }
  *opened = source;
  return palette_result::converted;
}

}  // namespace

palette_result open_palette(std::FILE* input, palette_source** source, palette_refusal& refusal) {
  return open_source(input, source, refusal, gba_word_size);
}

palette_result open_palette_colours(std::FILE* input, palette_source** source,
                                    palette_refusal& refusal) {
  return open_source(input, source, refusal, kelvo_entry_size);
}

palette_result convert_open_palette(palette_source* source, std::FILE* output,
                                    palette_refusal& refusal) {
  palette_result result = palette_result::converted;
  if (source->format == nullptr) {
    const bool written = detail::convert_kelvo_palette(source->bytes, source->state.input.filled,
                                                       source->state.input.stream, output,
                                                       source->colour_size == kelvo_entry_size);
    result = std::ferror(source->state.input.stream) != 0 ? palette_result::read_failed
             : !written || std::ferror(output) != 0       ? palette_result::write_failed
                                                          : palette_result::converted;
    close_palette(source);
    return result;
  }
  for (;;) {
    if (source->word_count > 0 && std::fwrite(source->words, source->colour_size,
                                              source->word_count, output) != source->word_count) {
      result = palette_result::write_failed;
      break;
    }
    source->word_count = 0;
    if (source->last != step::colour) {
      break;
    }
    read_colours(*source);
    result = outcome_of_stop(*source, refusal);
    if (result != palette_result::converted) {
      break;
    }
  }
  close_palette(source);
  return result;
}

void close_palette(palette_source* source) {
  if (source != nullptr) {
    std::free(source->allocation);
  }
}

palette_result convert_any_palette(std::FILE* input, std::FILE* output, palette_refusal& refusal) {
  palette_source* source = nullptr;
  const palette_result result = open_palette(input, &source, refusal);
  return result == palette_result::converted ? convert_open_palette(source, output, refusal)
                                             : result;
}

}  // namespace vexlo
