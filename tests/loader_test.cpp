#include "config/loader.h"
#include "config/section.h"
#include "distro/distro_info.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "support/http_test_server.h"
#include "test_util.h"

namespace qor {
namespace {

using test::HttpTestServer;
using test::LogCapture;
using test::read_file;
using test::ScopedEnv;
using test::TempDir;
using test::write_file;

constexpr std::string_view kId = "[Debian bookworm]";
constexpr std::string_view kKernel = "6.1.0-18-amd64";

class LoaderTest : public ::testing::Test {
 protected:
  // The record the loader makes of text, for this machine's config-id.
  static Configuration load(std::string_view text, std::string_view kernel = kKernel) {
    Configuration config = new_configuration();
    LineReader lines(text);
    parse_section(config, lines, kId, kernel);
    return config;
  }
};

// Which lines make up the section, as the install list shows.
TEST_F(LoaderTest, SectionRunsFromItsHeaderToAnEmptyLineOrTheNextHeader) {
  const struct {
    std::string_view text;
    StringList install;
    std::string_view kernel = kKernel;
  } cases[] = {
      {"[Ubuntu jammy]\ni qor-desktop\n\n[Debian bullseye]\ni old\n", {}},
      {"[Debian bookworm]\n\ni qor-desktop\n", {}},
      {"[Debian bookworm]\ni a\ni b\n\ni c\n", {"a", "b"}},
      {"[Debian bookworm]\ni a\n[Fedora Forty]\ni c\n", {"a"}},
      {"[Debian bookworm]\ni a\ni last", {"a", "last"}},
      {"[Debian bookworm]\ni first\n[Debian bookworm]\ni second\n\ni third\n", {"first"}},
      {" [Debian bookworm]\ni a\n", {}},
      {"see [Debian bookworm]\ni a\n", {}},
      {"[debian bookworm]\ni a\n", {}},
      {"[Debian bookworm] the packaged suite\ni a\n", {"a"}},
      {std::string_view("[Debian bookworm]\ni a\0\ni b\n", 27), {"a"}},
      {"[Debian bookworm]\nk 2.6 3.0 i old\n", {"old"}, "2.6.32"},
      {"[Debian bookworm]\nk 2.6 3.0 i old\n", {}, "3.0"},
  };
  for (const auto &c : cases) {
    const Configuration config = load(c.text, c.kernel);
    EXPECT_EQ(*config.install, c.install) << c.text;
    EXPECT_FALSE(config.errors) << c.text;
  }
  const Configuration empty_first = load("[Debian bookworm]\n\ns source\n");
  EXPECT_EQ(format_configuration(empty_first), format_configuration(new_configuration()));
}

// No line is too long to read whole, nor long enough to hide the next one.
TEST_F(LoaderTest, HugeLineIsReadWhole) {
  const std::string huge(8UL << 20U, 'x');
  const Configuration config = load("[Debian bookworm]\ns " + huge + "\ni after\n");
  ASSERT_EQ(config.sources->size(), 1U);
  EXPECT_EQ(config.sources->front().size(), huge.size());
  EXPECT_EQ(*config.install, StringList{"after"});
}

// A file saved with CR LF line ends.

TEST_F(LoaderTest, CrLfFileKeepsCrInErrorsAndWarnsOnLoneCr) {
  LogCapture log;
  const Configuration config = load(
      "[Debian bookworm]\r\ns source\r\n\r\ne Reboot\r\nk 0 999 e nested\r\ni qor-desktop\r\n"
      "[Fedora Forty]\r\ni never\r\n");
  EXPECT_EQ(*config.sources, StringList{"source"});
  ASSERT_TRUE(config.errors);
  EXPECT_EQ(*config.errors, (StringList{"Reboot\r", "nested"}));
  EXPECT_EQ(*config.install, StringList{"qor-desktop"});
  ASSERT_EQ(log.messages().size(), 1U);
  EXPECT_FALSE(log.messages()[0].domain);
  EXPECT_EQ(log.messages()[0].level, G_LOG_LEVEL_WARNING);
  EXPECT_EQ(log.messages()[0].text, "Unrecognised config instruction: \r (13)");
}

TEST_F(LoaderTest, LocalCopyGoesToHomeElseThePasswordEntrysHome) {
  for (const std::string home : {"/home/ana", "/home/ana/", "/home/ana//"}) {
    EXPECT_EQ(config_local_path(home), "/home/ana/.qor-config");
  }
  EXPECT_EQ(config_local_path("/"), "/.qor-config");

  // An empty HOME or entry would put the local copy at the root of the file
  // system: with neither there is no home at all.
  const struct {
    const char *variable;
    std::optional<std::string> entry;
    std::optional<std::string> home;
  } homes[] = {
      {"/home/somebody", "/home/entry", "/home/somebody"},
      {nullptr, "/home/entry", "/home/entry"},
      {"", "/home/entry", "/home/entry"},
      {"", "", std::nullopt},
      {nullptr, std::nullopt, std::nullopt},
  };
  for (const auto &c : homes) {
    EXPECT_EQ(choose_home(c.variable, c.entry), c.home) << (c.variable ? c.variable : "unset");
  }
}

// The dump and the section key.

TEST_F(LoaderTest, DumpShowsAbsentEmptyAndFilledListsExactly) {
  Configuration config = new_configuration();
  EXPECT_EQ(format_configuration(config),
            "{\n  errors: (nil)\n  sources: []\n  keys: []\n  docs: []\n  INSTALL: []\n"
            "  install: []\n  upgrade: []\n}\n");
  config.errors = StringList{"Reboot now ", "x"};
  config.sources = StringList{"deb a b", ""};
  config.install.reset();
  config.upgrade = StringList{""};
  EXPECT_EQ(format_configuration(config),
            "{\n  errors: [Reboot now  x]\n  sources: [deb a b ]\n  keys: []\n  docs: []\n"
            "  INSTALL: []\n  install: (nil)\n  upgrade: []\n}\n");
}

TEST_F(LoaderTest, ConfigIdShowsAbsentFieldsAsNull) {
  DistroInfo info;
  EXPECT_EQ(config_id(info), "[(null) (null)]");
  info.distributor = "Debian";
  info.codename = "";
  EXPECT_EQ(config_id(info), "[Debian ]");
  info.codename = "bookworm";
  EXPECT_EQ(config_id(info), kId);
}

// Standard error, the file descriptor itself, goes into a file while this
// exists: the dump is written there unbuffered.
class StderrToFile {
 public:
  explicit StderrToFile(const std::string &path) : saved_(dup(STDERR_FILENO)) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDERR_FILENO);
    close(file);
  }
  ~StderrToFile() {
    (void)std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  StderrToFile(const StderrToFile &) = delete;
  StderrToFile &operator=(const StderrToFile &) = delete;

 private:
  int saved_;
};

// get_configuration() fetches the fixed ConfigUrl, so this runs where its
// host is 127.0.0.1 and a test certificate authority is trusted for it: in
// a private namespace set up by tests/support/with-trusted-ca --host.
class LoaderProcessWideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *host = g_getenv("QOR_TRUSTED_HOST");
    if (host == nullptr ||
        std::string(ConfigUrl).find(std::string("://") + host + "/") == std::string::npos) {
      GTEST_SKIP() << "needs " << ConfigUrl << " served on 127.0.0.1 "
                   << "(runs under tests/support/with-trusted-ca --host)";
    }
    const std::string tool = bin_.file("lsb_release");
    write_file(tool, "#!/bin/sh\nprintf 'Distributor ID:\\tDebian\\nCodename:\\tbookworm\\n'\n");
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  }

  TempDir bin_;
  TempDir home_;
  TempDir scratch_;
  ScopedEnv path_{"PATH", bin_.path()};
  ScopedEnv home_env_{"HOME", home_.path()};
};

// The record is process-wide, so its whole life is this one sequence.
TEST_F(LoaderProcessWideTest, FailedLoadIsTriedAgainThenDownloadsOnceAndDumpsEachCall) {
  const std::string local = home_.file(".qor-config");
  write_file(local, "[Debian bookworm]\ni from an earlier run\n");
  HttpTestServer server(g_getenv("QOR_TRUSTED_CERT_DIR"), 443);
  const std::string path = "/gfx/qor-config.cfg";
  {
    const LogCapture log;
    EXPECT_EQ(get_configuration(), nullptr);  // the server answers 404
    // GIO tells at debug level which modules it loaded: not ours to check.
    std::vector<test::LogMessage> told;
    for (const test::LogMessage &message : log.messages()) {
      if (message.level != G_LOG_LEVEL_DEBUG && message.level != G_LOG_LEVEL_INFO) {
        told.push_back(message);
      }
    }
    ASSERT_EQ(told.size(), 1U);
    EXPECT_FALSE(told[0].domain);
    EXPECT_EQ(told[0].level, G_LOG_LEVEL_WARNING);
    EXPECT_EQ(told[0].text, std::string("Failed to download config file '") + ConfigUrl + "'\n");
  }
  EXPECT_EQ(read_file(local), "[Debian bookworm]\ni from an earlier run\n");
  EXPECT_EQ(server.requests(path), 1);

  const std::string text = "[Ubuntu jammy]\ni other\n\n[Debian bookworm]\ns deb x\ni qor-desktop\n";
  server.answer(path, HttpTestServer::ok(text));
  const std::string err = scratch_.file("stderr");
  const Configuration *first = nullptr;
  const Configuration *second = nullptr;
  {
    const StderrToFile capture(err);
    first = get_configuration();
    second = get_configuration();
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(second, first);
  EXPECT_EQ(server.requests(path), 2);
  EXPECT_EQ(read_file(local), text);
  const std::string dump =
      "{\n  errors: (nil)\n  sources: [deb x]\n  keys: []\n  docs: []\n  INSTALL: []\n"
      "  install: [qor-desktop]\n  upgrade: []\n}\n";
  EXPECT_EQ(read_file(err), dump + dump);
}

}  // namespace
}  // namespace qor
