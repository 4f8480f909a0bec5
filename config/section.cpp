// The pure core of loading: finding a section in the file text, and the dump.
#include <cstddef>
#include <string>

#include "common/text.h"
#include "config/loader.h"
#include "config/parser.h"

namespace qor {

namespace {

void append_slot(std::string &out, std::string_view name, const std::optional<StringList> &list) {
  out += "  ";
  out += name;
  if (!list) {
    out += ": (nil)\n";
    return;
  }
  out += ": [";
  for (std::size_t i = 0; i < list->size(); ++i) {
    out += (*list)[i];
    if (i + 1 < list->size()) {
      out += ' ';
    }
  }
  out += "]\n";
}

}  // namespace

std::string make_config_id(const DistroInfo &info) {
  std::string id = "[";
  id += field_text(info.distributor);
  id += ' ';
  id += field_text(info.codename);
  id += ']';
  return id;
}

Configuration new_configuration() {
  Configuration config;
  config.sources.emplace();
  config.keys.emplace();
  config.docs.emplace();
  config.install.emplace();
  config.upgrade.emplace();
  config.INSTALL.emplace();
  return config;
}

void parse_section(Configuration &config, std::string_view text, std::string_view config_id,
                   std::string_view kernel_release) {
  text = up_to_nul(text);
  bool in_section = false;
  for_each_line(text, [&](std::string_view line) {
    if (!in_section) {
      in_section = line.starts_with(config_id);
      return true;
    }
    return !line.empty() && parse_cfg_line(config, line, kernel_release);
  });
}

std::string format_configuration(const Configuration &config) {
  std::string out = "{\n";
  append_slot(out, "errors", config.errors);
  append_slot(out, "sources", config.sources);
  append_slot(out, "keys", config.keys);
  append_slot(out, "docs", config.docs);
  append_slot(out, "INSTALL", config.INSTALL);
  append_slot(out, "install", config.install);
  append_slot(out, "upgrade", config.upgrade);
  out += "}\n";
  return out;
}

}  // namespace qor
