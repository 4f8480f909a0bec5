// Reading text the way the C-string world around us does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qor {

// The text as C code sees it: nothing after its first NUL byte.
inline std::string_view up_to_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

// Space, tab, newline, form feed and carriage return: what values are
// trimmed of. A vertical tab is not among them and stays.
inline bool is_trim_space(char c) {
  constexpr std::uint64_t kSpaces =
      (1ULL << ' ') | (1ULL << '\t') | (1ULL << '\n') | (1ULL << '\f') | (1ULL << '\r');
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && ((kSpaces >> byte) & 1U) != 0;
}

// The text without the trim spaces at either end.
inline std::string_view trim(std::string_view text) {
  while (!text.empty() && is_trim_space(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_trim_space(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// Calls visit(line) for each piece of text between "\n"s, as splitting the
// text at every "\n" gives them, until visit returns false. Empty text has no
// lines at all; a final "\n" is followed by one empty line.
template <typename Visit>
void for_each_line(std::string_view text, Visit &&visit) {
  if (text.empty()) {
    return;
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    if (!visit(text.substr(start, end == std::string_view::npos ? end : end - start)) ||
        end == std::string_view::npos) {
      return;
    }
    start = end + 1;
  }
}

}  // namespace qor
