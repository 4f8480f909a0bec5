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

TEST_F(LoaderTest, NewRecordHasSixEmptyListsAndNoErrors) {
  const Configuration config = new_configuration();
  EXPECT_FALSE(config.errors);
  for (const auto *list : {&config.sources, &config.keys, &config.docs, &config.INSTALL,
                           &config.install, &config.upgrade}) {
    ASSERT_TRUE(*list);
    EXPECT_TRUE((*list)->empty());
  }
}

// Which lines make up the section.

TEST_F(LoaderTest, TextWithoutTheHeaderParsesNothing) {
  const Configuration config = load("[Ubuntu jammy]\ni qor-driver\n\n[Debian bullseye]\ni old\n");
  EXPECT_EQ(format_configuration(config), format_configuration(new_configuration()));
}

TEST_F(LoaderTest, SectionThatStartsWithAnEmptyLineIsEmpty) {
  const Configuration config = load("[Debian bookworm]\n\ni qor-driver\ns source\n");
  EXPECT_EQ(format_configuration(config), format_configuration(new_configuration()));
}

TEST_F(LoaderTest, SectionEndsAtEmptyLineNextHeaderOrEndOfText) {
  EXPECT_EQ(*load("[Debian bookworm]\ni a\ni b\n\ni c\n").install, (StringList{"a", "b"}));
  EXPECT_EQ(*load("[Debian bookworm]\ni a\n[Fedora Forty]\ni c\n").install, StringList{"a"});
  EXPECT_EQ(*load("[Debian bookworm]\ni a\ni last").install, (StringList{"a", "last"}));
}

TEST_F(LoaderTest, DoubledHeaderReadsTheFirstSectionUpToTheSecondCopy) {
  const Configuration config =
      load("[Debian bookworm]\ni first\n[Debian bookworm]\ni second\n\ni third\n");
  EXPECT_EQ(*config.install, StringList{"first"});
}

TEST_F(LoaderTest, HeaderMustBeginTheLineButMayCarryMoreText) {
  EXPECT_TRUE(load(" [Debian bookworm]\ni a\n").install->empty());
  EXPECT_TRUE(load("see [Debian bookworm]\ni a\n").install->empty());
  EXPECT_TRUE(load("[debian bookworm]\ni a\n").install->empty());
  EXPECT_EQ(*load("[Debian bookworm] the packaged driver\ni a\n").install, StringList{"a"});
}

TEST_F(LoaderTest, NothingAfterANulByteCounts) {
  const char text[] = "[Debian bookworm]\ni a\0\ni b\n";
  EXPECT_EQ(*load(std::string_view(text, sizeof text - 1)).install, StringList{"a"});
}

TEST_F(LoaderTest, KernelRangesAreDecidedAgainstTheGivenKernel) {
  constexpr std::string_view text = "[Debian bookworm]\nk 2.6 3.0 i old\n";
  EXPECT_EQ(*load(text, "2.6.32").install, StringList{"old"});
  EXPECT_TRUE(load(text, "3.0").install->empty());
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

// Where the local copy goes.

TEST_F(LoaderTest, LocalPathJoinsHomeAndFileNameWithOneSlash) {
  EXPECT_EQ(config_local_path("/home/ana"), "/home/ana/.qor-config");
  EXPECT_EQ(config_local_path("/home/ana/"), "/home/ana/.qor-config");
  EXPECT_EQ(config_local_path("/home/ana//"), "/home/ana/.qor-config");
  EXPECT_EQ(config_local_path("/"), "/.qor-config");
}

TEST_F(LoaderTest, HomeIsHomeVariableElseThePasswordEntry) {
  const struct passwd *entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const std::string passwd_home = entry->pw_dir;
  {
    ScopedEnv home("HOME", "/home/somebody");
    EXPECT_EQ(home_directory(), "/home/somebody");
  }
  {
    ScopedEnv home("HOME", std::nullopt);
    EXPECT_EQ(home_directory(), passwd_home);
  }
  {
    // An empty HOME would put the local copy at the root of the file system.
    ScopedEnv home("HOME", "");
    EXPECT_EQ(home_directory(), passwd_home);
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
  EXPECT_EQ(make_config_id(info), "[Debian (null)]");
  info.codename = "";
  EXPECT_EQ(make_config_id(info), "[Debian ]");
  info.codename = "bookworm";
  EXPECT_EQ(make_config_id(info), kId);
}

}  // namespace
}  // namespace qor
