// The instruction parser: one line of a section at a time.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/configuration.h"

namespace qor {

// Interprets one instruction line (without its "\n") into config. Returns
// true to go on with the section, false where the line ends it (a line that
// begins with "["). kernel_release is the running kernel's release, against
// which kernel-range ("k") lines are decided. The line is read as a C string:
// nothing after a NUL byte counts.
bool parse_cfg_line(Configuration &config, std::string_view line, std::string_view kernel_release);

// The same against the running kernel, whose release is read from the system
// the first time a kernel-range line needs it.
bool parse_cfg_line(Configuration &config, std::string_view line);

// The running kernel's release (uname), read once per process.
std::string_view running_kernel_release();

// What separates an instruction's first word from its value.
inline bool is_word_space(char c) {
  constexpr std::uint64_t kSpaces = (1ULL << ' ') | (1ULL << '\t') | (1ULL << '\n') |
                                    (1ULL << '\v') | (1ULL << '\f') | (1ULL << '\r');
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && ((kSpaces >> byte) & 1U) != 0;
}

// An instruction's value: the line after its first word and the white space
// that follows it; a view into line. Inline: a nested kernel range takes it
// once per level, for a word of one letter.
inline std::string_view instruction_value(std::string_view line) {
  std::size_t pos = 0;
  while (pos < line.size() && !is_word_space(line[pos])) {
    ++pos;
  }
  while (pos < line.size() && is_word_space(line[pos])) {
    ++pos;
  }
  return line.substr(pos);
}

}  // namespace qor
