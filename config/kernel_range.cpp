#include "config/kernel_range.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "common/text.h"

namespace qor {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The next eight bytes from pos as one word, when there are eight.
std::optional<std::uint64_t> word_at(std::string_view text, std::size_t pos) {
  if (text.size() - pos < sizeof(std::uint64_t)) {
    return std::nullopt;
  }
  std::uint64_t word = 0;
  std::memcpy(&word, text.data() + pos, sizeof word);
  return word;
}

// Does the word hold a byte from 0x80 up?
bool has_high_byte(std::uint64_t word) { return (word & kHighBits) != 0; }

// Does the word hold a byte below 0x0E, the last ASCII line break (+1)?
// Exact for words without high bytes.
bool has_control_byte(std::uint64_t word) {
  return ((word - kOnes * 0x0E) & ~word & kHighBits) != 0;
}

// The byte at pos as a number, or 0 past the end, so that looking ahead in a
// multi-byte pattern never reads outside the value.
unsigned byte_at(std::string_view text, std::size_t pos) {
  return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0U;
}

// The length of the well-formed multi-byte UTF-8 sequence at pos, or 0 where
// it is not one: overlong forms, surrogates, code points past U+10FFFF,
// truncated sequences and stray continuation bytes are all rejected.
std::size_t sequence_length(std::string_view text, std::size_t pos) {
  const unsigned lead = byte_at(text, pos);
  unsigned low = 0x80;
  unsigned high = 0xBF;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : low;
    high = lead == 0xED ? 0x9F : high;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : low;
    high = lead == 0xF4 ? 0x8F : high;
  } else {
    return 0;
  }
  const unsigned second = byte_at(text, pos + 1);
  if (second < low || second > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte_at(text, pos + i) & 0xC0U) != 0x80U) {
      return 0;
    }
  }
  return length;
}

// Lines are mostly ASCII, so whole words of it are passed over at once.
bool is_valid_utf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (const auto word = word_at(text, pos); word && !has_high_byte(*word)) {
      pos += sizeof *word;
      continue;
    }
    if (byte_at(text, pos) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t length = sequence_length(text, pos);
    if (length == 0) {
      return false;
    }
    pos += length;
  }
  return true;
}

constexpr unsigned char kBound = 1;
constexpr unsigned char kSpace = 2;

// The class of every byte, so that each byte of a run costs one load and test.
constexpr std::array<unsigned char, 256> kClasses = [] {
  std::array<unsigned char, 256> classes{};
  for (unsigned byte = '0'; byte <= '9'; ++byte) {
    classes[byte] = kBound;
  }
  classes['.'] = kBound;
  for (unsigned byte = '\t'; byte <= '\r'; ++byte) {
    classes[byte] = kSpace;
  }
  classes[' '] = kSpace;
  return classes;
}();

bool is_bound_byte(unsigned byte) { return (kClasses[byte & 0xFFU] & kBound) != 0; }

bool is_ascii_space(unsigned byte) { return (kClasses[byte & 0xFFU] & kSpace) != 0; }

// The byte length of the non-ASCII white-space character at pos, or 0. The
// text is valid UTF-8 and pos starts a character, so a lead byte and its
// continuation bytes identify the character.
std::size_t unicode_space_length(std::string_view text, std::size_t pos) {
  const unsigned first = byte_at(text, pos);
  const unsigned second = byte_at(text, pos + 1);
  const unsigned third = byte_at(text, pos + 2);
  switch (first) {
    case 0xC2:  // U+0085, U+00A0
      return second == 0x85 || second == 0xA0 ? 2 : 0;
    case 0xE1:  // U+1680, U+180E
      return (second == 0x9A && third == 0x80) || (second == 0xA0 && third == 0x8E) ? 3 : 0;
    case 0xE2:  // U+2000-200A, U+2028, U+2029, U+202F, U+205F
      return (second == 0x80 &&
              (third <= 0x8A || third == 0xA8 || third == 0xA9 || third == 0xAF)) ||
                     (second == 0x81 && third == 0x9F)
                 ? 3
                 : 0;
    case 0xE3:  // U+3000
      return second == 0x80 && third == 0x80 ? 3 : 0;
    default:
      return 0;
  }
}

// Is the character at pos one that ends a line: CR, LF, VT, FF, U+0085,
// U+2028 or U+2029?
bool is_line_break(std::string_view text, std::size_t pos) {
  const unsigned first = byte_at(text, pos);
  if (first >= '\n' && first <= '\r') {
    return true;
  }
  if (first == 0xC2) {
    return byte_at(text, pos + 1) == 0x85;
  }
  return first == 0xE2 && byte_at(text, pos + 1) == 0x80 &&
         (byte_at(text, pos + 2) == 0xA8 || byte_at(text, pos + 2) == 0xA9);
}

// The byte at pos, which is inside the text.
unsigned byte_in(std::string_view text, std::size_t pos) {
  return static_cast<unsigned char>(text[pos]);
}

// Each run in a nested level is a byte or a few, so the loops over them are
// inlined: calls cost more than the scans.
inline std::size_t skip_bound(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_bound_byte(byte_in(text, pos))) {
    ++pos;
  }
  return pos;
}

std::size_t skip_unicode_spaces(std::string_view text, std::size_t pos) {
  for (;;) {
    const unsigned byte = byte_at(text, pos);
    if (is_ascii_space(byte)) {
      ++pos;
    } else if (const std::size_t length = byte < 0x80 ? 0 : unicode_space_length(text, pos)) {
      pos += length;
    } else {
      return pos;
    }
  }
}

// White space outside ASCII is rare, so it is left to a call.
inline std::size_t skip_spaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_ascii_space(byte_in(text, pos))) {
    ++pos;
  }
  if (pos < text.size() && byte_in(text, pos) >= 0x80) {
    return skip_unicode_spaces(text, pos);
  }
  return pos;
}

// Words of plain printable ASCII hold no line break and are passed over whole.
std::size_t find_line_break(std::string_view text, std::size_t pos) {
  for (;;) {
    for (auto word = word_at(text, pos); word && !has_high_byte(*word) && !has_control_byte(*word);
         word = word_at(text, pos)) {
      pos += sizeof *word;
    }
    if (pos == text.size() || is_line_break(text, pos)) {
      return pos;
    }
    ++pos;
  }
}

std::size_t find_bound_start(std::string_view text, std::size_t pos) {
  while (pos < text.size() && !is_bound_byte(byte_in(text, pos))) {
    ++pos;
  }
  return pos;
}

// The part of text from begin to end; the positions are known to be in order
// and inside the text.
std::string_view slice(std::string_view text, std::size_t begin, std::size_t end) {
  return {text.data() + begin, end - begin};
}

// The match whose lower bound is the whole run of bound characters at
// [start, lower_end), if there is one, its nested part running to the end of
// the text. Every part of the pattern but the last can only succeed by taking
// all it can: a shorter run or a shorter stretch of white space leaves a
// character that the next part rejects.
std::optional<KernelRange> match_at(std::string_view text, std::size_t start,
                                    std::size_t lower_end) {
  const std::size_t upper = skip_spaces(text, lower_end);
  const std::size_t upper_end = skip_bound(text, upper);
  if (upper == lower_end || upper_end == upper) {
    return std::nullopt;
  }
  const std::size_t nested = skip_spaces(text, upper_end);
  if (nested == upper_end) {
    return std::nullopt;
  }
  return KernelRange{slice(text, start, lower_end), slice(text, upper, upper_end),
                     slice(text, nested, text.size())};
}

}  // namespace

std::optional<KernelRange> match_kernel_range(std::string_view value) {
  value = up_to_nul(value);
  if (!is_valid_utf8(value)) {
    return std::nullopt;
  }
  std::optional<KernelRange> range = match_nested_kernel_range(value);
  if (range) {
    range->nested = range->nested.substr(0, find_line_break(range->nested, 0));
  }
  return range;
}

// Tries each maximal run of bound characters in order. A start inside a run
// cannot succeed where the run's own start failed, as it ends at the same
// place; and a failed try reads no further than the next run, so every byte
// is read a bounded number of times.
std::optional<KernelRange> match_nested_kernel_range(std::string_view text) {
  for (std::size_t start = find_bound_start(text, 0); start < text.size();) {
    const std::size_t lower_end = skip_bound(text, start);
    if (auto range = match_at(text, start, lower_end)) {
      return range;
    }
    start = find_bound_start(text, lower_end);
  }
  return std::nullopt;
}

}  // namespace qor
