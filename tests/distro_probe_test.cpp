// The distribution probe: the tool's output, Fedora's release file, and the
// process-wide record. The tool is a real shell script first on PATH.
#include "distro/probe.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "distro/distro_info.h"
#include "test_util.h"

namespace qor {
namespace {

using namespace std::string_literals;
using Fields = std::array<std::optional<std::string>, 4>;
constexpr std::nullopt_t kAbsent = std::nullopt;

Fields fields(const DistroInfo &info) {
  return {info.distributor, info.description, info.release, info.codename};
}

Fields parsed(std::string_view output) {
  DistroInfo info;
  parse_lsb_release_output(output, info);
  return fields(info);
}

class DistroProbeTest : public ::testing::Test {
 protected:
  // Only our folder is on PATH, so the script may use shell built-ins alone.
  void install_tool(const std::string &script_body) const {
    const std::string path = bin_.file("lsb_release");
    test::write_file(path, "#!/bin/sh\n" + script_body + "\n");
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  }
  DistroSources sources() const { return {"lsb_release -a", release_file_}; }

  test::TempDir bin_;
  test::TempDir files_;
  std::string release_file_ = files_.file("fedora-release");
  test::ScopedEnv path_{"PATH", bin_.path()};
};

TEST_F(DistroProbeTest, ToolLinesTrimValuesNotKeys) {
  const std::string fedora = "Distributor ID:\tFedora\nCodename:\tTool\nRelease:\t20.1\n";
  const std::pair<std::string, Fields> cases[] = {
      {"Distributor ID:\t Qor \r\nDescription:\fQor 1.0 at 12:30:05 \nRelease "
       ":9\nCodename:\vname\v\n",
       {"Qor", "Qor 1.0 at 12:30:05", kAbsent, "\vname\v"}},
      {"Release: 1\nRelease: 2\n\nNo LSB modules are available.\nCodename: old\nCodename\n"
       "Description:\ndistributor id: qor\n",
       {kAbsent, "", "2", kAbsent}},
      {"Release: 1\0\nCodename: hidden\n"s, {kAbsent, kAbsent, "1", kAbsent}},
      // Fedora's codename comes from its description when that names one.
      {fedora + "Description:\tFedora release 20 (Heisen bug)",
       {"Fedora", "Fedora release 20 (Heisen bug)", "20.1", "Heisen bug"}},
      {fedora + "Description:\tFedora 39", {"Fedora", "Fedora 39", "20.1", "Tool"}},
      {fedora, {"Fedora", kAbsent, "20.1", "Tool"}},
      {"Description: Fedora release 20 (x)\nCodename: Tool",
       {kAbsent, "Fedora release 20 (x)", kAbsent, "Tool"}},
      {fedora + "Description:\tFedora release 20 (x) \xff",
       {"Fedora", "Fedora release 20 (x) \xff", "20.1", "Tool"}},
  };
  const test::LogCapture log;
  for (const auto &[output, expected] : cases) {
    EXPECT_EQ(parsed(output), expected) << output;
  }
  EXPECT_TRUE(log.messages().empty());
}

// The name is cut out without letting the regex engine rescan whole lines;
// whatever the whole pattern finds first must still be what we find.
TEST_F(DistroProbeTest, FedoraNameAgreesWithWholePattern) {
  // clang-format off
  const std::vector<std::string> subjects = {
      "Fedora release 20 (Heisenbug)\n", "Fedora release 20 (a) (b)", "Fedora release 20 ()",
      "Fedora release 20 (a\rb)", "Fedora release 20 (a\vb)", "Fedora release 20 (a\fb)",
      "Fedora release 20 (a\xc2\x85z)", "Fedora release 20 (a\xe2\x80\xa8z)",
      "Fedora release 20 (a\xe2\x80\xa9z)", "Fedora release 20 (a\xe2\x80\xaaz)",
      "Fedora release 20 (a\nFedora release 21 (b)", "Fedora release 20 (a Fedora release 21 (b)",
      "Fedora release 1\n(x)", "Fedora\xc2\xa0release \xd9\xa3 (x)", "FedoraFedora release 7 (y)",
      "Fedora release 20 (", "Fedora release (x)", "xx Fedora release 3 (a\r) Fedora release 4 (b)",
      "Fedora release 1 (Fedora release 2 (\rFedora release 3 (c)", "Fedora ( Fedora release 2 (x)",
      "Fedora release 2 (a\rFedora release 3\r(b)", "Fedora release 5 (\xef\xbf\xbf)",
      "Fedora release 20 (x)\xff", "Fedora release 5 (\xed\xa0\x80)", "Fedora release 5 (\xc0\xaf)",
      "Fedora release 5 (\xf4\x90\x80\x80)", ""};
  // clang-format on
  g_autoptr(GRegex) whole =
      g_regex_new(R"(Fedora\s+release\s+(\d+)\s+\((.*?)\))", static_cast<GRegexCompileFlags>(0),
                  static_cast<GRegexMatchFlags>(0), nullptr);
  std::size_t matched = 0;
  for (const std::string &subject : subjects) {
    g_autoptr(GMatchInfo) match = nullptr;
    const bool found =
        g_regex_match(whole, subject.c_str(), static_cast<GRegexMatchFlags>(0), &match);
    g_autofree char *number = found ? g_match_info_fetch(match, 1) : g_strdup("Unknown");
    g_autofree char *name = found ? g_match_info_fetch(match, 2) : g_strdup("Unknown");
    EXPECT_EQ(fields(parse_fedora_release(subject)), (Fields{"Fedora", subject, number, name}))
        << subject;
    matched += found ? 1 : 0;
  }
  EXPECT_GT(matched, 5U);
  EXPECT_LT(matched, subjects.size() - 5);
}

// The tool's output may be long; its standard input is not ours to give.
TEST_F(DistroProbeTest, ToolOnPathIsAskedEvenWhenItFails) {
  test::write_file(release_file_, "Fedora release 20 (Heisenbug)\n");
  install_tool(R"(printf 'Distributor ID:\tQor\nDescription:\targs=%s\nCodename:\tone\n' "$*")"
               "\nread -r line && echo \"Release: $line\""
               "\ni=0; while [ $i -lt 20000 ]; do printf '%064d\\n' 0; i=$((i + 1)); done\n"
               "printf 'Codename:\\tlast\\n'");
  const std::string input = files_.file("input");
  test::write_file(input, "typed\n");
  const int saved = dup(STDIN_FILENO);
  const int file = open(input.c_str(), O_RDONLY);
  dup2(file, STDIN_FILENO);
  close(file);
  DistroInfo info = probe_distro(sources());
  dup2(saved, STDIN_FILENO);
  close(saved);
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(fields(info), (Fields{"Qor", "args=-a", kAbsent, "last"}));

  install_tool("printf 'Release: 7\\n'; exit 3");
  info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(fields(info), (Fields{kAbsent, kAbsent, "7", kAbsent}));
}

TEST_F(DistroProbeTest, FedoraReleaseFileWhenToolCannotStart) {
  test::write_file(release_file_, "Fedora release 20 (Heisenbug)\n");
  DistroInfo info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(fields(info), (Fields{"Fedora", "Fedora release 20 (Heisenbug)\n", "20", "Heisenbug"}));

  test::write_file(release_file_, "Fedora release 20 (Heisen\rbug)\n");
  info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(fields(info),
            (Fields{"Fedora", "Fedora release 20 (Heisen\rbug)\n", "Unknown", "Unknown"}));

  test::write_file(release_file_, "Fedora\0 release 20 (x)"s);
  EXPECT_EQ(probe_distro(sources()).description, "Fedora");
}

TEST_F(DistroProbeTest, NothingToAskLeavesRecordUnset) {
  DistroInfo info = probe_distro(sources());
  EXPECT_FALSE(info.valid);
  EXPECT_EQ(fields(info), (Fields{}));

  install_tool("printf 'Codename: x\\n'");
  info = probe_distro({"lsb_release 'unclosed", release_file_});
  EXPECT_FALSE(info.valid);
  EXPECT_EQ(fields(info), (Fields{}));
}

// Mode 000 stops no root, so unreadable here means a folder or a link to
// nothing in the file's place.
TEST_F(DistroProbeTest, UnreadableReleaseFileCountsAsNone) {
  ASSERT_EQ(mkdir(release_file_.c_str(), 0755), 0);
  EXPECT_FALSE(probe_distro(sources()).valid);
  ASSERT_EQ(rmdir(release_file_.c_str()), 0);
  ASSERT_EQ(symlink(files_.file("nowhere").c_str(), release_file_.c_str()), 0);
  const DistroInfo info = probe_distro(sources());
  EXPECT_FALSE(info.valid);
  EXPECT_EQ(fields(info), (Fields{}));
}

// The record is process-wide, so its whole life is this one sequence.
TEST_F(DistroProbeTest, ProcessWideRecordProbesUntilOneCompletes) {
  if (g_file_test("/etc/fedora-release", G_FILE_TEST_EXISTS)) {
    GTEST_SKIP() << "/etc/fedora-release exists, so no probe can fail here";
  }
  const DistroInfo *first = get_distro_information();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->valid);
  EXPECT_EQ(fields(*first), (Fields{}));
  EXPECT_FALSE(get_distro_information()->valid);

  install_tool("printf 'Distributor ID:\\tQor\\nCodename:\\tone\\n'");
  const DistroInfo *probed = get_distro_information();
  EXPECT_TRUE(probed->valid);
  EXPECT_EQ(fields(*probed), (Fields{"Qor", kAbsent, kAbsent, "one"}));
  EXPECT_FALSE(first->valid);  // what a failed probe handed out never changes

  install_tool("printf 'Distributor ID:\\tOther\\nCodename:\\ttwo\\n'");
  EXPECT_EQ(get_distro_information(), probed);
  EXPECT_EQ(fields(*probed), (Fields{"Qor", kAbsent, kAbsent, "one"}));
}

}  // namespace
}  // namespace qor
