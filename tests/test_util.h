// Helpers shared by the test programs.
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
#include <string>
#include <vector>

namespace qor::test {

// A fresh folder, removed with all it holds when the object goes.
struct TempDir {
  std::string path_ = g_dir_make_tmp("qor-test-XXXXXX", nullptr);
  ~TempDir() { g_spawn_command_line_sync(("rm -rf " + path_).c_str(), {}, {}, {}, {}); }
  const std::string &path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
};

inline void write_file(const std::string &path, std::string_view contents, int mode = 0644) {
  std::ofstream(path, std::ios::binary) << contents;
  g_chmod(path.c_str(), mode);
}

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

// A stand-in for the distribution's tool in folder: it prints output, and on
// standard error a note the real one prints there too, and exits with status.
inline void write_tool(const std::string &folder, std::string_view output, int status = 0) {
  write_file(folder + "/lsb_release",
             "#!/bin/sh\necho 'No LSB modules are available.' >&2\nprintf '%s' '" +
                 std::string(output) + "'\nexit " + std::to_string(status) + "\n",
             0755);
}

// Lowers a resource's soft limit while it exists. Under a file size limit a
// write past it fails as on a full disk, with no signal.
struct ScopedLimit {
  decltype(RLIMIT_FSIZE) resource;
  rlimit old{};
  ScopedLimit(decltype(RLIMIT_FSIZE) limited, rlim_t soft) : resource(limited) {
    getrlimit(resource, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{std::min(soft, old.rlim_max), old.rlim_max};
    setrlimit(resource, &limit);
  }
  ~ScopedLimit() { setrlimit(resource, &old); }
};

// The messages logged with no domain while it exists, instead of printing
// them: warnings as they are, other levels marked.
class LogCapture {
 public:
  LogCapture() : handler_(g_log_set_handler(nullptr, G_LOG_LEVEL_MASK, &record, this)) {}
  ~LogCapture() { g_log_remove_handler(nullptr, handler_); }
  std::vector<std::string> take() { return std::exchange(messages_, {}); }

 private:
  static void record(const char *, GLogLevelFlags level, const char *text, gpointer self) {
    static_cast<LogCapture *>(self)->messages_.push_back(
        (level & G_LOG_LEVEL_WARNING ? "" : "not a warning: ") + std::string(text));
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
// runs it; with combined, standard error goes where standard output goes.
inline Run run_program(std::vector<std::string> argv, std::vector<std::string> env,
                       const char *cwd = nullptr, bool combined = false) {
  const auto strv = [](std::vector<std::string> &strings) {
    std::vector<char *> pointers;
    for (std::string &text : strings) {
      pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
  };
  g_autofree char *out = nullptr;
  g_autofree char *err = nullptr;
  Run run;
  const auto to_stdout = [](gpointer) { dup2(1, 2); };
  g_spawn_sync(cwd, strv(argv).data(), strv(env).data(), G_SPAWN_DEFAULT,
               combined ? +to_stdout : nullptr, nullptr, &out, combined ? nullptr : &err,
               &run.status, nullptr);
  run.status = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
  run.out = out != nullptr ? out : "";
  run.err = err != nullptr ? err : "";
  return run;
}

}  // namespace qor::test
