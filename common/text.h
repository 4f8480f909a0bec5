// Reading text the way the C-string world around us does.
#pragma once

#include <cstddef>
#include <string_view>

namespace qor {

// The text as C code sees it: nothing after its first NUL byte.
inline std::string_view up_to_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

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
