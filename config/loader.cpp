#include "config/loader.h"

#include <pwd.h>
#include <unistd.h>

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "config/parser.h"
#include "net/http_download.h"

namespace qor {

const char ConfigUrl[] = "https://" QOR_CONFIG_HOST "/gfx/qor-config.cfg";

namespace {

constexpr std::string_view kLocalFileName = ".qor-config";

// Calls visit(line) for each piece of text between "\n"s, as splitting the
// text at every "\n" would give them, until visit returns false. Empty text
// has no lines at all.
template <typename Visit>
void for_each_line(std::string_view text, Visit &&visit) {
  if (text.empty()) {
    return;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    if (!visit(text.substr(start, end == std::string_view::npos ? end : end - start)) ||
        end == std::string_view::npos) {
      return;
    }
    start = end + 1;
  }
}

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

std::unique_ptr<Configuration> load_configuration(const char *url, const std::string &path) {
  g_autoptr(GError) error = nullptr;
  if (!http_download_file(url, path.c_str(), &error)) {
    g_warning("Failed to download config file '%s'\n", url);
    return nullptr;
  }
  g_autofree char *text = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &text, &length, nullptr)) {
    return nullptr;
  }
  auto config = std::make_unique<Configuration>(new_configuration());
  const std::string config_id = make_config_id(*get_distro_information());
  parse_section(*config, std::string_view(text, length), config_id, running_kernel_release());
  return config;
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

std::string config_local_path(std::string_view home) {
  while (!home.empty() && home.back() == '/') {
    home.remove_suffix(1);
  }
  std::string path(home);
  path += '/';
  path += kLocalFileName;
  return path;
}

std::string home_directory() {
  if (const char *home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd *found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return g_get_home_dir();
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
  text = text.substr(0, text.find('\0'));
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

const Configuration *get_configuration() {
  static std::unique_ptr<Configuration> record;
  if (!record) {
    record = load_configuration(ConfigUrl, config_local_path(home_directory()));
    if (!record) {
      return nullptr;
    }
  }
  const std::string dump = format_configuration(*record);
  std::fwrite(dump.data(), 1, dump.size(), stderr);
  return record.get();
}

}  // namespace qor
