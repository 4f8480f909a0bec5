#include "config/loader.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "test_util.h"

namespace qor {
namespace {

using test::LogCapture;
using test::ScopedEnv;

constexpr std::string_view kId = "[Debian bookworm]";
constexpr std::string_view kKernel = "6.1.0-18-amd64";

class LoaderTest : public ::testing::Test {
 protected:
  // The record the loader makes of text, for this machine's config-id.
  static Configuration load(std::string_view text, std::string_view kernel = kKernel) {
    Configuration config = new_configuration();
    parse_section(config, text, kId, kernel);
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
      {"[Ubuntu jammy]\ni qor-driver\n\n[Debian bullseye]\ni old\n", {}},
      {"[Debian bookworm]\n\ni qor-driver\n", {}},
      {"[Debian bookworm]\ni a\ni b\n\ni c\n", {"a", "b"}},
      {"[Debian bookworm]\ni a\n[Fedora Forty]\ni c\n", {"a"}},
      {"[Debian bookworm]\ni a\ni last", {"a", "last"}},
      {"[Debian bookworm]\ni first\n[Debian bookworm]\ni second\n\ni third\n", {"first"}},
      {" [Debian bookworm]\ni a\n", {}},
      {"see [Debian bookworm]\ni a\n", {}},
      {"[debian bookworm]\ni a\n", {}},
      {"[Debian bookworm] the packaged driver\ni a\n", {"a"}},
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

// A file saved with CR LF line ends.

TEST_F(LoaderTest, CrLfFileKeepsCrInErrorsAndWarnsOnLoneCr) {
  LogCapture log;
  const Configuration config = load(
      "[Debian bookworm]\r\ns source\r\n\r\ne Reboot\r\nk 0 999 e nested\r\ni qor-driver\r\n"
      "[Fedora Forty]\r\ni never\r\n");
  EXPECT_EQ(*config.sources, StringList{"source"});
  ASSERT_TRUE(config.errors);
  EXPECT_EQ(*config.errors, (StringList{"Reboot\r", "nested"}));
  EXPECT_EQ(*config.install, StringList{"qor-driver"});
  ASSERT_EQ(log.messages().size(), 1U);
  EXPECT_FALSE(log.messages()[0].domain);
  EXPECT_EQ(log.messages()[0].level, G_LOG_LEVEL_WARNING);
  EXPECT_EQ(log.messages()[0].text, "Unrecognised config instruction: \r (13)");
}

TEST_F(LoaderTest, LocalCopyGoesToHomeElseThePasswordEntrysHome) {
  for (const char *home : {"/home/ana", "/home/ana/", "/home/ana//"}) {
    EXPECT_EQ(config_local_path(home), "/home/ana/.qor-config");
  }
  EXPECT_EQ(config_local_path("/"), "/.qor-config");

  const struct passwd *entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const std::string passwd_home = entry->pw_dir;
  // An empty HOME would put the local copy at the root of the file system.
  for (const auto &[home, expected] :
       {std::pair<std::optional<std::string>, std::string>{"/home/somebody", "/home/somebody"},
        {std::nullopt, passwd_home},
        {"", passwd_home}}) {
    const ScopedEnv scoped("HOME", home);
    EXPECT_EQ(home_directory(), expected);
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
  EXPECT_EQ(make_config_id(info), "[(null) (null)]");
  info.distributor = "Debian";
  info.codename = "";
  EXPECT_EQ(make_config_id(info), "[Debian ]");
  info.codename = "bookworm";
  EXPECT_EQ(make_config_id(info), kId);
}

}  // namespace
}  // namespace qor
