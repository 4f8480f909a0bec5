// The whole road against the configuration host, which support/ns-run puts
// at 127.0.0.1 with a trusted certificate: the process-wide record from
// threads and a main loop, and qor-config-test run as a user runs it (under
// the command in QOR_E2E_WRAPPER, such as valgrind, when that is set).
#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "config/configuration.h"
#include "support/http_test_server.h"
#include "test_util.h"

namespace qor {
namespace {

using test::HttpTestServer;
constexpr const char *kPath = "/gfx/qor-config.cfg";

class EndToEndTest : public ::testing::Test {
 protected:
  test::TempDir bin_;
  test::TempDir home_;
  std::string local_ = home_.file(".qor-config");
  HttpTestServer server_{std::string(g_getenv("QOR_CERTS")) + "/server", 443};
};

// Runs the main loop until get_configuration_async's callback has come, on
// this thread.
const Configuration *load_async(GCancellable *cancellable, GError **error) {
  struct Result {
    GError **error;
    const Configuration *config = nullptr;
    std::thread::id thread;
  } result{error, nullptr, {}};
  get_configuration_async(
      cancellable,
      [](GObject *, GAsyncResult *done, gpointer data) {
        auto *got = static_cast<Result *>(data);
        got->config = get_configuration_finish(done, got->error);
        got->thread = std::this_thread::get_id();
      },
      &result);
  while (result.thread == std::thread::id()) {
    g_main_context_iteration(nullptr, TRUE);
  }
  EXPECT_EQ(result.thread, std::this_thread::get_id());
  return result.config;
}

// The record is process-wide, so its whole life is this one sequence.
TEST_F(EndToEndTest, OneRecordLoadedOnceFromAnyThread) {
  g_setenv("PATH", bin_.path().c_str(), TRUE);
  g_setenv("HOME", home_.path().c_str(), TRUE);
  test::write_tool(bin_.path(), "Distributor ID:\tDebian\nCodename:\tbookworm\n");
  test::write_file(local_, "old\n");
  EXPECT_EQ(get_configuration(), nullptr);  // the server answers 404

  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\n"), std::chrono::seconds(30));
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  const std::jthread canceller([&cancellable] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    g_cancellable_cancel(cancellable);
  });
  const auto start = std::chrono::steady_clock::now();
  g_autoptr(GError) error = nullptr;
  EXPECT_EQ(load_async(cancellable, &error), nullptr);
  EXPECT_TRUE(g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(test::read_file(local_), "old\n");

  // Two threads at once make one GET and get one record; each call dumps it.
  const std::string text = "[Debian bookworm]\ns deb x\ni qor-desktop\n";
  server_.answer(kPath, HttpTestServer::ok(text), std::chrono::milliseconds(300));
  const int saved_stderr = dup(STDERR_FILENO);
  const int captured = open(home_.file("stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  dup2(captured, STDERR_FILENO);
  const Configuration *blocking = nullptr;
  std::thread other([&blocking] { blocking = get_configuration(); });
  const Configuration *async = load_async(nullptr, nullptr);
  other.join();
  EXPECT_EQ(get_configuration(), async);
  dup2(saved_stderr, STDERR_FILENO);
  ASSERT_NE(async, nullptr);
  EXPECT_EQ(blocking, async);
  EXPECT_EQ(server_.requests(kPath), 3);
  EXPECT_EQ(test::read_file(local_), text);
  const std::string dump =
      "{\n  errors: (nil)\n  sources: [deb x]\n  keys: []\n  docs: []\n  INSTALL: []\n"
      "  install: [qor-desktop]\n  upgrade: []\n}\n";
  EXPECT_EQ(test::read_file(home_.file("stderr")),
            "No LSB modules are available.\n" + dump + dump + dump);
}

// The exact standard output and error of each case are in tests/data/e2e,
// with @URL@ for the configuration URL.
TEST_F(EndToEndTest, TheProgramAsAUserRunsIt) {
  const std::string fixture = test::read_file(QOR_TEST_DATA "/e2e.cfg").value();
  const std::string huge = "[Debian bookworm]\ns first\n\n" + std::string(256UL << 20U, 'x');
  const char *debian = "Distributor ID:\tDebian\nRelease:\t12\nCodename:\tbookworm\n";
  const std::string old = "old\n";
  const struct {
    std::string name;
    std::string answer;
    const char *tool;  // lsb_release's output; nullptr: no tool on PATH
    const char *release_file;
    int status;
    const std::string &local;  // the local copy afterwards
  } cases[] = {
      {"success", HttpTestServer::ok(fixture), debian, nullptr, 0, fixture},
      {"failed-download", HttpTestServer::status(404, "Not Found"), debian, nullptr, 1, old},
      {"no-section", HttpTestServer::ok(fixture), "Distributor ID:\tArch\nCodename:\tn/a\n",
       nullptr, 0, fixture},
      {"no-codename", HttpTestServer::ok(fixture), "Distributor ID:\tDebian\n", nullptr, 0,
       fixture},
      {"release-file", HttpTestServer::ok(fixture), nullptr, "Fedora release 39 (Thirty Nine)\n", 0,
       fixture},
      {"nothing-to-ask", HttpTestServer::ok(fixture), nullptr, nullptr, 0, fixture},
      {"huge-body", HttpTestServer::ok(huge), debian, nullptr, 0, huge},
  };
  const char *wrapper = g_getenv("QOR_E2E_WRAPPER");
  for (const auto &c : cases) {
    const bool huge_body = &c.local == &huge;
    if (wrapper != nullptr && huge_body) {
      continue;  // a quarter gigabyte under valgrind takes minutes
    }
    SCOPED_TRACE(c.name);
    server_.answer(kPath, c.answer);
    test::write_file(local_, "old\n");
    g_unlink((bin_.path() + "/lsb_release").c_str());
    if (c.tool != nullptr) {
      test::write_tool(bin_.path(), c.tool);
    }
    g_unlink("/etc/fedora-release");  // a copy-on-write /etc, this namespace's own
    if (c.release_file != nullptr) {
      test::write_file("/etc/fedora-release", c.release_file);
    }
    g_auto(GStrv) words = g_strsplit(wrapper != nullptr ? wrapper : "", " ", -1);
    std::vector<std::string> argv(words, words + g_strv_length(words));
    if (huge_body) {  // GNU time tells the peak resident set, in KiB
      argv = {"/usr/bin/time", "-f", "%M", "-o", home_.file("peak")};
    }
    argv.emplace_back(QOR_CONFIG_TEST);
    const std::vector<std::string> env = {"PATH=" + bin_.path(), "HOME=" + home_.path()};
    const test::Run run = test::run_program(argv, env);
    const auto expected = [&c](const char *stream) {
      const std::string text = test::read_file(QOR_TEST_DATA "/e2e/" + c.name + stream).value();
      return std::regex_replace(text, std::regex("@URL@"), ConfigUrl);
    };
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, expected(".out"));
    static const std::regex log_prefix(R"(\*\* \(process:\d+\): WARNING \*\*: [\d:.]+: )");
    EXPECT_EQ(std::regex_replace(run.err, log_prefix, "WARNING: "), expected(".err"));
    if (huge_body) {
      EXPECT_EQ(std::filesystem::file_size(local_), huge.size());
      const int peak = std::stoi(test::read_file(home_.file("peak")).value_or("0"));
      std::cout << "peak resident set with a 256 MiB body: " << peak / 1024 << " MiB\n";
      EXPECT_LT(peak, 64 * 1024);
    } else {
      EXPECT_EQ(test::read_file(local_), c.local);
    }
    if (c.name == "success") {  // in one stream the block still comes first
      const std::string note = "No LSB modules are available.\n";
      EXPECT_EQ(test::run_program(argv, env, nullptr, true).out,
                note + run.out + run.err.substr(note.size()));
    }
  }
}

}  // namespace
}  // namespace qor
