// The instruction parser: one line of a section at a time.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <qor/configuration.hpp>
#include "base/text.h"

namespace qor {

// What the parser does with a line whose first byte is no instruction: log
// its warning, or pass over it in silence (for callers that report such
// lines their own way).
enum class Warnings { kLog, kQuiet };

// Interprets one instruction line (without its "\n") into config. Returns
// true to go on with the section, false where the line ends it (a line that
// begins with "["). Kernel-range ("k") lines are decided against
// kernel_release.
bool parse_cfg_line(Configuration &config, std::string_view line, std::string_view kernel_release,
                    Warnings warnings = Warnings::kLog);

// The warning "Unrecognised config instruction: LINE (BYTE)" for a line whose
// first byte is no instruction, or nullopt for a line the parser knows
// (empty lines included).
std::optional<std::string> unrecognised_instruction(std::string_view line);

// An instruction's value: the line after its first word and the white space
// that follows it; a view into line. Inline: a chain of kernel ranges takes
// it once a level.
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
