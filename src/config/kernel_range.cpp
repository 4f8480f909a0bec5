#include "config/kernel_range.h"

#include <glib.h>

#include <array>

#include "base/text.h"
#include "config/parser.h"

namespace qor {

namespace {

// The characters outside ASCII that the pattern's \s matches, and those of
// them that also end a line for its ".".
constexpr std::array<std::string_view, 20> kWideSpaces = {
    "\u0085", "\u00a0", "\u1680", "\u180e", "\u2000", "\u2001", "\u2002",
    "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009",
    "\u200a", "\u2028", "\u2029", "\u202f", "\u205f", "\u3000",
};
constexpr std::array<std::string_view, 3> kWideLineBreaks = {"\u0085", "\u2028", "\u2029"};

template <std::size_t N>
std::size_t wide_length(std::string_view text, const std::array<std::string_view, N> &set) {
  for (const std::string_view character : set) {
    if (text.starts_with(character)) {
      return character.size();
    }
  }
  return 0;
}

bool is_bound(char c) { return (c >= '0' && c <= '9') || c == '.'; }

std::size_t skip_bound(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_bound(text[pos])) {
    ++pos;
  }
  return pos;
}

// Past the white space at pos: ASCII's, and outside ASCII what begins with
// one of the lead bytes of the wide white-space characters.
std::size_t skip_spaces(std::string_view text, std::size_t pos) {
  while (pos < text.size()) {
    if (is_word_space(text[pos])) {
      ++pos;
      continue;
    }
    switch (text[pos]) {
      case '\xc2':
      case '\xe1':
      case '\xe2':
      case '\xe3':
        if (const std::size_t length = wide_length(text.substr(pos), kWideSpaces)) {
          pos += length;
          continue;
        }
        return pos;
      default:
        return pos;
    }
  }
  return pos;
}

// What a byte can begin: a line break, or one outside ASCII (U+0085, U+2028,
// U+2029, which wide_length then tells), or neither.
enum class Lead : unsigned char { kNone, kLineBreak, kWideLineBreak };
constexpr std::array<Lead, 256> kLeads = [] {
  std::array<Lead, 256> leads{};
  for (const unsigned char byte : {'\n', '\v', '\f', '\r'}) {
    leads[byte] = Lead::kLineBreak;
  }
  leads[0xC2] = Lead::kWideLineBreak;
  leads[0xE2] = Lead::kWideLineBreak;
  return leads;
}();

// The text up to its first line break: CR, LF, VT, FF, U+0085, U+2028, U+2029.
std::string_view up_to_line_break(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    switch (kLeads[static_cast<unsigned char>(text[pos])]) {
      case Lead::kLineBreak:
        return text.substr(0, pos);
      case Lead::kWideLineBreak:
        if (wide_length(text.substr(pos), kWideLineBreaks) != 0) {
          return text.substr(0, pos);
        }
        break;
      case Lead::kNone:
        break;
    }
  }
  return text;
}

// The match whose lower bound is the whole run of bound characters at
// [start, lower_end), its nested part running to the end of the text. Every
// part of the pattern but the last can only succeed by taking all it can: a
// shorter run or stretch of white space leaves a character that the next
// part rejects.
std::optional<KernelRange> match_at(std::string_view text, std::size_t start,
                                    std::size_t lower_end) {
  const std::size_t upper = skip_spaces(text, lower_end);
  const std::size_t upper_end = skip_bound(text, upper);
  const std::size_t nested = skip_spaces(text, upper_end);
  if (upper == lower_end || upper_end == upper || nested == upper_end) {
    return std::nullopt;
  }
  return KernelRange{text.substr(start, lower_end - start), text.substr(upper, upper_end - upper),
                     text.substr(nested)};
}

// The first match in text, valid UTF-8, with the nested part running to the
// end of the text. Tries each maximal run of bound characters in order: a
// start inside a run fails where the run's own start failed, as it ends at
// the same place, and a failed try reads no further than the next run.
std::optional<KernelRange> find_first_range(std::string_view text) {
  for (std::size_t start = 0; start < text.size(); ++start) {
    if (!is_bound(text[start])) {
      continue;
    }
    const std::size_t lower_end = skip_bound(text, start);
    if (auto range = match_at(text, start, lower_end)) {
      return range;
    }
    start = lower_end;
  }
  return std::nullopt;
}

}  // namespace

std::optional<KernelRange> match_kernel_range(std::string_view value) {
  if (!g_utf8_validate_len(value.data(), value.size(), nullptr)) {
    return std::nullopt;
  }
  std::optional<KernelRange> range = find_first_range(value);
  if (range) {
    range->nested = up_to_line_break(range->nested);
  }
  return range;
}

KernelRangeChain::KernelRangeChain(std::string_view line)
    : value_(instruction_value(line)), range_(match_kernel_range(value_)) {}

bool KernelRangeChain::next() {
  if (!range_ || !range_->nested.starts_with('k')) {
    return false;
  }
  // A nested line is a piece of valid UTF-8 that holds no line break, so its
  // links need neither check again: each level costs its own length.
  value_ = instruction_value(range_->nested);
  range_ = find_first_range(value_);
  return true;
}

}  // namespace qor
