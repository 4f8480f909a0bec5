#include "config/section.h"

namespace qor {

namespace {

void append_list(std::string &out, std::string_view name, const std::optional<StringList> &list) {
  out += "  ";
  out += name;
  if (!list) {
    out += ": (nil)\n";
    return;
  }
  out += ": [";
  for (std::size_t i = 0; i < list->size(); ++i) {
    out += i == 0 ? "" : " ";
    out += (*list)[i];
  }
  out += "]\n";
}

}  // namespace

Configuration new_configuration() {
  Configuration config;
  config.sources.emplace();
  config.keys.emplace();
  config.docs.emplace();
  config.INSTALL.emplace();
  config.install.emplace();
  config.upgrade.emplace();
  return config;
}

void parse_section(Configuration &config, LineReader &lines, std::string_view config_id,
                   std::string_view kernel_release, Warnings warnings) {
  for (;;) {
    const auto line = lines.next(config_id.size());
    if (!line) {
      return;
    }
    if (line->starts_with(config_id)) {
      break;
    }
  }
  while (const auto line = lines.next()) {
    if (line->empty() || !parse_cfg_line(config, *line, kernel_release, warnings)) {
      return;
    }
  }
}

Configuration parse_configuration(std::string_view text, std::string_view config_id,
                                  std::string_view kernel_release) {
  LineReader lines(text);
  Configuration config = new_configuration();
  parse_section(config, lines, config_id, kernel_release);
  return config;
}

std::string format_configuration(const Configuration &config) {
  std::string out = "{\n";
  append_list(out, "errors", config.errors);
  append_list(out, "sources", config.sources);
  append_list(out, "keys", config.keys);
  append_list(out, "docs", config.docs);
  append_list(out, "INSTALL", config.INSTALL);
  append_list(out, "install", config.install);
  append_list(out, "upgrade", config.upgrade);
  out += "}\n";
  return out;
}

}  // namespace qor
