// Helpers shared by the test programs: temporary folders, files, environment
// changes and resource limits that undo themselves, and captured GLib
// warnings.
#pragma once

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qor::test {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir() {
    g_autoptr(GError) error = nullptr;
    g_autofree char *made = g_dir_make_tmp("qor-test-XXXXXX", &error);
    if (made == nullptr) {
      throw std::runtime_error(error->message);
    }
    path_ = made;
  }
  ~TempDir() {
    if (std::system(("rm -rf '" + path_ + "'").c_str()) != 0) {
      g_printerr("could not remove %s\n", path_.c_str());
    }
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

inline void write_file(const std::string &path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path);
  }
}

// The file's bytes, or nullopt when it cannot be read.
inline std::optional<std::string> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// The names in a folder, sorted and each followed by a space, to see that
// nothing was left behind.
inline std::string listing(const std::string &folder) {
  g_autoptr(GDir) dir = g_dir_open(folder.c_str(), 0, nullptr);
  std::set<std::string> names;
  while (const char *name = dir != nullptr ? g_dir_read_name(dir) : nullptr) {
    names.emplace(name);
  }
  std::string joined;
  for (const std::string &name : names) {
    joined += name + " ";
  }
  return joined;
}

// Sets (or, with nullopt, unsets) an environment variable for the object's
// lifetime, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string> &value) : name_(std::move(name)) {
    if (const char *old = std::getenv(name_.c_str())) {
      old_ = old;
    }
    set(name_, value);
  }
  ~ScopedEnv() { set(name_, old_); }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  static void set(const std::string &name, const std::optional<std::string> &value) {
    if (value) {
      g_setenv(name.c_str(), value->c_str(), TRUE);
    } else {
      g_unsetenv(name.c_str());
    }
  }
  std::string name_;
  std::optional<std::string> old_;
};

// Lowers a resource's soft limit for the object's lifetime, then puts the old
// one back. Under a file size limit a write past it fails with EFBIG instead
// of the signal that would end the process.
class ScopedLimit {
 public:
  using Resource = decltype(RLIMIT_FSIZE);
  ScopedLimit(Resource resource, rlim_t soft) : resource_(resource) {
    getrlimit(resource_, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{std::min(soft, old_.rlim_max), old_.rlim_max};
    setrlimit(resource_, &limit);
  }
  ~ScopedLimit() {
    setrlimit(resource_, &old_);
    (void)std::signal(SIGXFSZ, old_handler_);
  }
  ScopedLimit(const ScopedLimit &) = delete;
  ScopedLimit &operator=(const ScopedLimit &) = delete;

 private:
  Resource resource_;
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

// One message as GLib's log received it.
struct LogMessage {
  std::optional<std::string> domain;  // nullopt: logged with no domain
  GLogLevelFlags level;
  std::string text;
};

// Catches every message logged with no domain (and, through the default
// handler, with any domain) while it exists, instead of printing it.
class LogCapture {
 public:
  LogCapture() {
    handler_ = g_log_set_handler(nullptr, kLevels, &LogCapture::record, this);
    old_default_ = g_log_set_default_handler(&LogCapture::record, this);
  }
  ~LogCapture() {
    g_log_remove_handler(nullptr, handler_);
    g_log_set_default_handler(old_default_, nullptr);
  }
  LogCapture(const LogCapture &) = delete;
  LogCapture &operator=(const LogCapture &) = delete;

  const std::vector<LogMessage> &messages() const { return messages_; }
  void clear() { messages_.clear(); }

 private:
  static constexpr auto kLevels =
      static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);

  static void record(const char *domain, GLogLevelFlags level, const char *text, gpointer self) {
    auto *capture = static_cast<LogCapture *>(self);
    capture->messages_.push_back({domain ? std::optional<std::string>(domain) : std::nullopt,
                                  static_cast<GLogLevelFlags>(level & G_LOG_LEVEL_MASK),
                                  text ? text : ""});
  }

  guint handler_ = 0;
  GLogFunc old_default_ = nullptr;
  std::vector<LogMessage> messages_;
};

}  // namespace qor::test
