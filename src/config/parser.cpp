#include "config/parser.h"

#include <glib.h>

#include <qor/compare_versions.hpp>
#include "base/text.h"
#include "config/kernel_range.h"

namespace qor {

namespace {

// Every byte a line may begin with without a warning.
constexpr std::string_view kInstructionBytes = "esgdIiuk[#n\n";

// The list a letter fills with trimmed values, or nullptr for other letters.
std::optional<StringList> *trimmed_slot(Configuration &config, char letter) {
  switch (letter) {
    case 's':
      return &config.sources;
    case 'g':
      return &config.keys;
    case 'd':
      return &config.docs;
    case 'I':
      return &config.INSTALL;
    case 'i':
      return &config.install;
    case 'u':
      return &config.upgrade;
    default:
      return nullptr;
  }
}

// Every instruction but a kernel range. Returns false where the line ends
// the section.
bool apply_instruction(Configuration &config, std::string_view line, Warnings warnings) {
  if (auto warning = unrecognised_instruction(line)) {
    if (warnings == Warnings::kLog) {
      g_warning("%s", warning->c_str());
    }
    return true;
  }
  if (line.empty()) {
    return true;
  }
  if (std::optional<StringList> *slot = trimmed_slot(config, line.front())) {
    if (*slot) {
      (*slot)->emplace_back(trim(instruction_value(line)));
    }
    return true;
  }
  if (line.front() == 'e') {
    if (!config.errors) {
      config.errors.emplace();
    }
    config.errors->emplace_back(instruction_value(line));
  }
  return line.front() != '[';
}

bool kernel_in_range(const KernelRange &range, std::string_view kernel_release) {
  return compare_versions(range.lower, kernel_release) <= 0 &&
         compare_versions(range.upper, kernel_release) > 0;
}

}  // namespace

// What the innermost line of a chain of kernel ranges yields does not count,
// so a nested "[" leaves the section open.
bool parse_cfg_line(Configuration &config, std::string_view line, std::string_view kernel_release,
                    Warnings warnings) {
  if (!line.starts_with('k')) {
    return apply_instruction(config, line, warnings);
  }
  KernelRangeChain chain(line);
  while (chain.range() && kernel_in_range(*chain.range(), kernel_release)) {
    if (!chain.next()) {
      apply_instruction(config, chain.range()->nested, warnings);
      break;
    }
  }
  return true;
}

std::optional<std::string> unrecognised_instruction(std::string_view line) {
  if (line.empty() || kInstructionBytes.find(line.front()) != std::string_view::npos) {
    return std::nullopt;
  }
  // The byte is shown as the signed char C code sees, so bytes from 128 up
  // show as negative numbers.
  const int byte = static_cast<signed char>(line.front());  // NOLINT(bugprone-signed-char-misuse)
  return "Unrecognised config instruction: " + std::string(line) + " (" + std::to_string(byte) +
         ")";
}

}  // namespace qor
