#include "config/parser.h"

#include <sys/utsname.h>

#include <glib.h>

#include <string>

#include "common/text.h"
#include "config/kernel_range.h"

namespace qor {

namespace {

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

void append_error(Configuration &config, std::string_view line) {
  if (!config.errors) {
    config.errors.emplace();
  }
  config.errors->emplace_back(instruction_value(line));
}

void warn_unrecognised(std::string_view line) {
  const std::string text(line);
  g_warning("Unrecognised config instruction: %s (%d)", text.c_str(),
            static_cast<int>(static_cast<signed char>(line.front())));
}

// Every instruction but a kernel range. Returns false where the line ends
// the section.
bool apply_instruction(Configuration &config, std::string_view line) {
  if (line.empty()) {
    return true;
  }
  if (std::optional<StringList> *slot = trimmed_slot(config, line.front())) {
    if (*slot) {
      (*slot)->emplace_back(trim(instruction_value(line)));
    }
    return true;
  }
  switch (line.front()) {
    case 'e':
      append_error(config, line);
      return true;
    case '[':
      return false;
    case '#':
    case 'n':
    case '\n':
      return true;
    default:
      warn_unrecognised(line);
      return true;
  }
}

// The bounds of a range and the white space between them, which follow each
// other in the text matched. A span splits into its bounds in one way only, so
// equal spans have equal bounds.
std::string_view bounds_span(const KernelRange &range) {
  const char *end = range.upper.data() + range.upper.size();
  return {range.lower.data(), static_cast<std::size_t>(end - range.lower.data())};
}

// Spans are a few bytes long: a plain loop beats a call to memcmp.
bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      return false;
    }
  }
  return true;
}

// Decides whether ranges include one kernel release. A chain of nested
// ranges tends to repeat its bounds, so the last decision is kept.
class KernelCheck {
 public:
  explicit KernelCheck(std::string_view kernel_release) : kernel_release_(kernel_release) {}

  bool includes(const KernelRange &range) {
    const std::string_view bounds = bounds_span(range);
    if (!decided_ || !same_text(bounds, bounds_)) {
      bounds_ = bounds;
      included_ = compare_versions(range.lower, kernel_release_) <= 0 &&
                  compare_versions(range.upper, kernel_release_) > 0;
      decided_ = true;
    }
    return included_;
  }

 private:
  std::string_view kernel_release_;
  std::string_view bounds_;
  bool decided_ = false;
  bool included_ = false;
};

// Follows a chain of kernel ranges, each nesting the next, in a loop rather
// than by recursion: a chain is as long as its line, and no line may take the
// stack down. What the innermost line yields does not count, so a nested "["
// leaves the section open.
void apply_kernel_range(Configuration &config, std::string_view line,
                        std::string_view kernel_release) {
  KernelCheck check(kernel_release);
  std::optional<KernelRange> range = match_kernel_range(instruction_value(line));
  while (range && check.includes(*range)) {
    const std::string_view nested = range->nested;
    if (nested.empty() || nested.front() != 'k') {
      apply_instruction(config, nested);
      return;
    }
    range = match_nested_kernel_range(instruction_value(nested));
  }
}

}  // namespace

bool parse_cfg_line(Configuration &config, std::string_view line, std::string_view kernel_release) {
  line = up_to_nul(line);
  if (!line.empty() && line.front() == 'k') {
    apply_kernel_range(config, line, kernel_release);
    return true;
  }
  return apply_instruction(config, line);
}

bool parse_cfg_line(Configuration &config, std::string_view line) {
  const bool needs_kernel = !line.empty() && line.front() == 'k';
  return parse_cfg_line(config, line, needs_kernel ? running_kernel_release() : std::string_view());
}

std::string_view running_kernel_release() {
  static const std::string release = [] {
    struct utsname name {};
    return uname(&name) == 0 ? std::string(name.release) : std::string();
  }();
  return release;
}

}  // namespace qor
