// Loading the process-wide configuration: the download into the home
// directory and the dump on every call.
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

const Configuration *get_configuration() {
  static std::unique_ptr<Configuration> record;
  if (!record) {
    record = load_configuration(ConfigUrl, config_local_path(home_directory()));
    if (!record) {
      return nullptr;
    }
  }
  const std::string dump = format_configuration(*record);
  (void)std::fwrite(dump.data(), 1, dump.size(), stderr);
  return record.get();
}

}  // namespace qor
