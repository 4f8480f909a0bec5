// Byte classes and trimming shared by everything that reads text.
#pragma once

#include <glib.h>

#include <string_view>

namespace qor {

// The text as C code sees it: nothing after its first NUL byte.
inline std::string_view up_to_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

// The text without space, tab, newline, form feed and carriage return at
// either end (g_ascii_isspace, as g_strstrip trims): a vertical tab stays.
inline std::string_view trim(std::string_view text) {
  while (!text.empty() && g_ascii_isspace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && g_ascii_isspace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// What separates words: the trimmed bytes and the vertical tab too, as C's
// isspace has it.
inline bool is_word_space(char c) { return g_ascii_isspace(c) || c == '\v'; }

}  // namespace qor
