// Helpers shared by the test programs: temporary folders and files, limits
// and environment that undo themselves, captured warnings, a stand-in for
// the distribution's tool, and programs run as a user runs them.
#pragma once

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qor::test {

// A fresh folder, removed with all it holds when the object goes.
class TempDir {
 public:
  TempDir() : path_(g_dir_make_tmp("qor-test-XXXXXX", nullptr)) {}
  ~TempDir() {
    const std::string command = "rm -rf '" + path_ + "'";
    g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

inline void write_file(const std::string &path, std::string_view contents, int mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
  g_chmod(path.c_str(), mode);
}

// The file's bytes, or nullopt when it cannot be read.
inline std::optional<std::string> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return in ? std::optional(contents.str()) : std::nullopt;
}

// The names in a folder, sorted and each followed by a space.
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

// A stand-in for the distribution's tool in folder: lsb_release, printing
// output and, on standard error, a note the real one prints there too.
inline void write_tool(const std::string &folder, std::string_view output, int status = 0) {
  write_file(folder + "/lsb_release",
             "#!/bin/sh\necho 'No LSB modules are available.' >&2\nprintf '%s' '" +
                 std::string(output) + "'\nexit " + std::to_string(status) + "\n",
             0755);
}

// Lowers a resource's soft limit for the object's lifetime. Under a file
// size limit a write past it fails with EFBIG instead of a signal.
class ScopedLimit {
 public:
  ScopedLimit(decltype(RLIMIT_FSIZE) resource, rlim_t soft) : resource_(resource) {
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
  decltype(RLIMIT_FSIZE) resource_;
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

// The messages logged with no domain while it exists, instead of printing
// them: warnings as they are, any other level marked as such.
class LogCapture {
 public:
  LogCapture() : handler_(g_log_set_handler(nullptr, kLevels, &LogCapture::record, this)) {}
  ~LogCapture() { g_log_remove_handler(nullptr, handler_); }
  LogCapture(const LogCapture &) = delete;
  LogCapture &operator=(const LogCapture &) = delete;

  std::vector<std::string> take() { return std::exchange(messages_, {}); }

 private:
  static constexpr auto kLevels =
      static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
  static void record(const char *, GLogLevelFlags level, const char *text, gpointer self) {
    const bool warning = (level & G_LOG_LEVEL_MASK) == G_LOG_LEVEL_WARNING;
    static_cast<LogCapture *>(self)->messages_.push_back((warning ? "" : "not a warning: ") +
                                                         std::string(text));
  }

  guint handler_;
  std::vector<std::string> messages_;
};

struct Run {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs argv in folder cwd with nothing but env in its environment, as a user
// runs it; with combined, its standard error goes where its standard output
// goes.
inline Run run_program(std::vector<std::string> argv, const std::vector<std::string> &env,
                       const char *cwd = nullptr, bool combined = false) {
  std::vector<char *> args;
  for (std::string &arg : argv) {
    args.push_back(arg.data());
  }
  args.push_back(nullptr);
  std::vector<char *> environment;
  for (const std::string &entry : env) {
    environment.push_back(const_cast<char *>(entry.c_str()));
  }
  environment.push_back(nullptr);
  g_autofree char *out = nullptr;
  g_autofree char *err = nullptr;
  Run run;
  const auto to_stdout = [](gpointer) { dup2(1, 2); };
  if (!g_spawn_sync(cwd, args.data(), environment.data(), G_SPAWN_DEFAULT,
                    combined ? +to_stdout : nullptr, nullptr, &out, combined ? nullptr : &err,
                    &run.status, nullptr)) {
    throw std::runtime_error("cannot run " + argv[0]);
  }
  run.status = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
  run.out = out != nullptr ? out : "";
  run.err = err != nullptr ? err : "";
  return run;
}

}  // namespace qor::test
