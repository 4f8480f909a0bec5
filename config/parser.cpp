#include "config/parser.h"

#include <sys/utsname.h>

#include <string>

namespace qor {

// TODO: the instruction letters and kernel ranges.
bool parse_cfg_line(Configuration &, std::string_view line, std::string_view) {
  return line.empty() || line.front() != '[';
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
