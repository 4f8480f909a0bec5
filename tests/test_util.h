// Helpers shared by the test programs.
#pragma once

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qor::test {

// The tests' certificates (scripts/make-certs, in $QOR_CERTS), less ".pem"/".key".
inline std::string certificate(const char *name) {
  return std::string(g_getenv("QOR_CERTS")) + "/" + name;
}
inline std::string authority_file() { return certificate("ca.pem"); }
// A TLS database that trusts that authority alone; the caller's.
inline GTlsDatabase *authorities() {
  return g_tls_file_database_new(authority_file().c_str(), nullptr);
}

// text with what pattern (a GRegex, ^ at every line) matches replaced.
inline std::string replaced(const std::string &text, const char *pattern, const std::string &by) {
  g_autoptr(GRegex) regex = g_regex_new(pattern, G_REGEX_MULTILINE, GRegexMatchFlags(0), nullptr);
  g_autofree char *result =
      g_regex_replace_literal(regex, text.c_str(), -1, 0, by.c_str(), GRegexMatchFlags(0), nullptr);
  return result;
}

// Whether done() holds, asked every 10 ms for up to five seconds.
inline bool eventually(const std::function<bool()> &done) {
  for (int wait = 0; wait < 500 && !done(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// A fresh folder, removed with all it holds when the object goes.
struct TempDir {
  std::string path = [] {
    g_autofree char *made = g_dir_make_tmp("qor-test-XXXXXX", nullptr);
    return std::string(made);
  }();
  ~TempDir() {
    std::error_code ignored;  // a test may have made it read-only
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path, ignored);
  }
  std::string file(std::string_view name) const { return path + "/" + std::string(name); }
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

// The rows of the table tests/data/NAME, N fields each, the missing last ones empty: each
// line that is not a comment ("#"), split at tabs, each field with C escapes (g_strcompress).
template <std::size_t N>
std::vector<std::array<std::string, N>> rows(const std::string &name) {
  std::istringstream text(read_file(std::string(QOR_TEST_DATA "/") + name).value());
  std::vector<std::array<std::string, N>> rows;
  for (std::string line; std::getline(text, line);) {
    if (line.starts_with('#')) continue;
    g_auto(GStrv) fields = g_strsplit(line.c_str(), "\t", -1);
    EXPECT_LE(g_strv_length(fields), N) << line;
    std::array<std::string, N> &row = rows.emplace_back();
    for (std::size_t i = 0; i < N && fields[i] != nullptr; ++i) {
      g_autofree char *value = g_strcompress(fields[i]);
      row[i] = value;
    }
  }
  return rows;
}

// An error as the tests write it: its domain and code (GIO's by name), and its message.
inline std::string outcome(const GError *error) {
  if (error == nullptr) return "";
  g_autofree char *code =
      error->domain == G_IO_ERROR
          ? g_enum_to_string(G_TYPE_IO_ERROR_ENUM, error->code)
          : g_strdup_printf("%s %d", g_quark_to_string(error->domain), error->code);
  return std::string(code) + " " + error->message;
}

inline std::ptrdiff_t entries(const std::string &folder) {
  return std::distance(std::filesystem::directory_iterator(folder), {});
}

// A stand-in lsb_release in folder; on standard error the note the real one prints.
inline void write_tool(const std::string &folder, std::string_view output, int status = 0) {
  write_file(folder + "/lsb_release",
             "#!/bin/sh\necho 'No LSB modules are available.' >&2\nprintf '%s' '" +
                 std::string(output) + "'\nexit " + std::to_string(status) + "\n",
             0755);
}

// Lowers a soft limit while it exists; past the file size limit a write fails.
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

// What step returns, run on a thread of its own where each openat whose
// flags hold flag fails with code (0: none fails), as on a file system
// without unnamed files, or a read-only or full one.
template <typename Step>
auto on_a_thread(int code, unsigned flag, Step step) {
  std::array<sock_filter, 6> filter{{
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, flag, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(code)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  }};
  const sock_fprog program{filter.size(), filter.data()};
  // A bare thread: while the step lowers the process's limits, this one only waits.
  std::optional<std::invoke_result_t<Step &>> result;
  std::thread([&] {
    EXPECT_TRUE(code == 0 || (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                              prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0));
    result = step();
  }).join();
  return *result;
}

struct Run {
  int status = -1;
  std::string out, err;  // NOLINT(readability-isolate-declaration)
};

// Runs argv in cwd with nothing but env (and the tests' G_DEBUG) in its environment.
inline Run run_program(std::vector<std::string> argv, std::vector<std::string> env,
                       const char *cwd = nullptr) {
  if (const char *debug = g_getenv("G_DEBUG")) env.push_back(std::string("G_DEBUG=") + debug);
  std::vector<char *> args;
  std::vector<char *> environment;
  for (auto [strings, pointers] : {std::pair{&argv, &args}, {&env, &environment}}) {
    for (std::string &text : *strings) pointers->push_back(text.data());
    pointers->push_back(nullptr);
  }
  g_autofree char *out = nullptr;
  g_autofree char *err = nullptr;
  int status = 0;
  g_spawn_sync(cwd, args.data(), environment.data(), G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err,
               &status, nullptr);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out != nullptr ? out : "",
          err != nullptr ? err : ""};
}

// The warnings logged, from any thread, while the object lives; each ends in "\n".
struct Warnings {
  std::mutex mutex;
  std::string text;
  guint handler = g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, append, this);
  ~Warnings() { g_log_remove_handler(nullptr, handler); }
  static void append(const char *, GLogLevelFlags, const char *message, gpointer self) {
    auto *warnings = static_cast<Warnings *>(self);
    const std::lock_guard lock(warnings->mutex);
    warnings->text += std::string(message) + "\n";
  }
};

}  // namespace qor::test
