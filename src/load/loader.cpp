#include "load/loader.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/line_reader.h"
#include "config/section.h"

namespace qor {

namespace {

// A few kilobytes hold any real entry; a larger buffer is for a long one, and
// the largest stops a broken password database from growing it without end.
std::optional<std::string> passwd_home() {
  for (const std::size_t size : {std::size_t{4096}, std::size_t{1} << 16, std::size_t{1} << 20}) {
    std::vector<char> buffer(size);
    struct passwd entry {};
    struct passwd *found = nullptr;
    const int status = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (status == ERANGE) {
      continue;
    }
    if (status != 0 || found == nullptr || found->pw_dir == nullptr) {
      return std::nullopt;
    }
    return std::string(found->pw_dir);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> choose_home(const char *home_variable,
                                       const std::optional<std::string> &passwd_home) {
  if (home_variable != nullptr && *home_variable != '\0') {
    return home_variable;
  }
  if (passwd_home && !passwd_home->empty()) {
    return passwd_home;
  }
  return std::nullopt;
}

std::optional<std::string> home_directory() { return choose_home(g_getenv("HOME"), passwd_home()); }

std::string config_local_path(const std::string &home) {
  g_autofree char *path = g_build_filename(home.c_str(), ".qor-config", nullptr);
  return path;
}

// Made once and never freed, like the records whose loading needs it.
std::string_view running_kernel_release() {
  static const std::string *const release = [] {
    struct utsname name {};
    return new std::string(uname(&name) == 0 ? name.release : "");
  }();
  return *release;
}

std::optional<Configuration> read_configuration(const std::string &path, std::string_view config_id,
                                                std::string_view kernel_release, GError **error) {
  g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
  g_autoptr(GFileInputStream) stream = g_file_read(file, nullptr, error);
  if (stream == nullptr) {
    return std::nullopt;
  }
  LineReader lines(G_INPUT_STREAM(stream));
  Configuration config = new_configuration();
  parse_section(config, lines, config_id, kernel_release);
  if (lines.error() != nullptr) {
    g_propagate_error(error, g_error_copy(lines.error()));
    return std::nullopt;
  }
  return config;
}

}  // namespace qor
