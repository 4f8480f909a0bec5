// The distribution probe: the tool's output, Fedora's release file, and the
// process-wide record. The tool is a real shell script first on PATH.
#include "distro/probe.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "distro/distro_info.h"
#include "test_util.h"

namespace qor {
namespace {

using test::LogCapture;
using test::ScopedEnv;
using test::TempDir;

// Points one of our own descriptors at a file while it exists.
class ScopedRedirect {
 public:
  ScopedRedirect(int fd, const std::string &path, int flags) : fd_(fd), saved_(dup(fd)) {
    const int file = open(path.c_str(), flags, 0600);
    dup2(file, fd_);
    close(file);
  }
  ~ScopedRedirect() {
    dup2(saved_, fd_);
    close(saved_);
  }
  ScopedRedirect(const ScopedRedirect &) = delete;
  ScopedRedirect &operator=(const ScopedRedirect &) = delete;

 private:
  int fd_;
  int saved_;
};

std::string single_quoted(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string(R"('\'')") : std::string(1, c);
  }
  return quoted + "'";
}

DistroInfo parsed(std::string_view output) {
  DistroInfo info;
  parse_lsb_release_output(output, info);
  return info;
}

class DistroProbeTest : public ::testing::Test {
 protected:
  // The tool runs with only our folder on PATH, so its script may use shell
  // built-ins alone.
  void install_tool(const std::string &script_body) {
    const std::string path = bin_.file("lsb_release");
    test::write_file(path, "#!/bin/sh\n" + script_body + "\n");
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  }
  void install_tool_printing(std::string_view output) {
    install_tool("printf '%s' " + single_quoted(output));
  }
  DistroSources sources() const { return {"lsb_release -a", files_.file("fedora-release")}; }
  void write_release_file(std::string_view text) const {
    test::write_file(files_.file("fedora-release"), text);
  }

  TempDir bin_;
  TempDir files_;
  ScopedEnv path_{"PATH", bin_.path()};
};

TEST_F(DistroProbeTest, ToolValuesAreTrimmedButKeysAreNot) {
  const DistroInfo info = parsed(
      "Distributor ID:\t Qor \r\n"
      "Description:\fQor 1.0 built 12:30:05 \n"
      "Release :9\n"
      "Codename:\vname\v\n");
  EXPECT_EQ(info.distributor, "Qor");
  EXPECT_EQ(info.description, "Qor 1.0 built 12:30:05");
  EXPECT_EQ(info.release, std::nullopt);
  EXPECT_EQ(info.codename, "\vname\v");
  EXPECT_FALSE(info.valid);
}

TEST_F(DistroProbeTest, LaterToolLinesWinAndBareKeysClear) {
  const DistroInfo info = parsed(
      "Release: 1\nRelease: 2\n\nNo LSB modules are available.\n"
      "Codename: old\nCodename\nDescription:\ndistributor id: qor\n");
  EXPECT_EQ(info.release, "2");
  EXPECT_EQ(info.codename, std::nullopt);
  EXPECT_EQ(info.description, "");
  EXPECT_EQ(info.distributor, std::nullopt);
}

TEST_F(DistroProbeTest, ToolOutputEndsAtNulByte) {
  using namespace std::string_literals;
  const DistroInfo info = parsed("Release: 1\0\nCodename: hidden\n"s);
  EXPECT_EQ(info.release, "1");
  EXPECT_EQ(info.codename, std::nullopt);
}

TEST_F(DistroProbeTest, FedoraCodenameComesFromDescription) {
  DistroInfo info = parsed(
      "Distributor ID:\tFedora\nDescription:\tFedora release 20 (Heisen bug)\n"
      "Release:\t20.1\nCodename:\tTool\n");
  EXPECT_EQ(info.codename, "Heisen bug");
  EXPECT_EQ(info.release, "20.1");

  info = parsed("Distributor ID:\tFedora\nDescription:\tFedora 39\nCodename:\tTool\n");
  EXPECT_EQ(info.codename, "Tool");
  info = parsed("Distributor ID:\tFedora\nCodename:\tTool\n");
  EXPECT_EQ(info.codename, "Tool");
  info = parsed("Distributor ID:\tQor\nDescription:\tFedora release 20 (x)\nCodename:\tTool\n");
  EXPECT_EQ(info.codename, "Tool");

  const LogCapture log;
  info =
      parsed("Distributor ID:\tFedora\nDescription:\tFedora release 20 (x) \xff\nCodename:\tT\n");
  EXPECT_EQ(info.codename, "T");
  EXPECT_TRUE(log.messages().empty());
}

// The name is cut out without letting the regex engine rescan whole lines;
// whatever the whole pattern finds first must still be what we find.
TEST_F(DistroProbeTest, FedoraNameAgreesWithWholePattern) {
  const std::vector<std::string> subjects = {
      "Fedora release 20 (Heisenbug)\n",
      "Fedora release 20 (Heisen\rbug)",
      "Fedora release 20 (a\vb)",
      "Fedora release 20 (a\fb)",
      "Fedora release 20 (a\xc2\x85z)",
      "Fedora release 20 (a\xe2\x80\xa8z)",
      "Fedora release 20 (a\xe2\x80\xa9z)",
      "Fedora release 20 (a\xe2\x80\xaaz)",
      "Fedora release 20 (a) (b)",
      "Fedora release 20 ()",
      "Fedora release 20 (a\nFedora release 21 (b)",
      "Fedora release 20 (a Fedora release 21 (b)",
      "Fedora release 1\n(x)",
      "Fedora\xc2\xa0release \xd9\xa3 (x)",
      "Fedora release 20 (x)\xff",
      "FedoraFedora release 7 (y)",
      "Fedora release 20 (",
      "Fedora release (x)",
      "xx Fedora release 3 (a\r) Fedora release 4 (b)",
      "Fedora release 1 (Fedora release 2 (\rFedora release 3 (c)",
      "Fedora ( Fedora release 2 (x)",
      "Fedora release 2 (a\rFedora release 3\r(b)",
      "Fedora release 5 (\xef\xbf\xbf)",
      "Fedora release 5 (\xed\xa0\x80)",
      "Fedora release 5 (\xc0\xaf)",
      "Fedora release 5 (\xf4\x90\x80\x80)",
      ""};
  g_autoptr(GRegex) whole =
      g_regex_new(R"(Fedora\s+release\s+(\d+)\s+\((.*?)\))", static_cast<GRegexCompileFlags>(0),
                  static_cast<GRegexMatchFlags>(0), nullptr);
  int matched = 0;
  for (const std::string &subject : subjects) {
    SCOPED_TRACE(subject);
    g_autoptr(GMatchInfo) match = nullptr;
    const bool found =
        g_regex_match(whole, subject.c_str(), static_cast<GRegexMatchFlags>(0), &match);
    g_autofree char *number = found ? g_match_info_fetch(match, 1) : g_strdup("Unknown");
    g_autofree char *name = found ? g_match_info_fetch(match, 2) : g_strdup("Unknown");
    const DistroInfo info = parse_fedora_release(subject);
    EXPECT_EQ(info.release, number);
    EXPECT_EQ(info.codename, name);
    matched += found ? 1 : 0;
  }
  EXPECT_GT(matched, 5);
  EXPECT_LT(matched, static_cast<int>(subjects.size()) - 5);
}

TEST_F(DistroProbeTest, ToolOnPathIsAsked) {
  install_tool(
      "printf 'Distributor ID:\\tQor\\nDescription:\\targs=%s\\nCodename:\\tone\\n' \"$*\"\n"
      "i=0; while [ $i -lt 20000 ]; do printf '%064d\\n' 0; i=$((i + 1)); done\n"
      "printf 'Codename:\\tlast\\n'");
  write_release_file("Fedora release 20 (Heisenbug)\n");
  const DistroInfo info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.distributor, "Qor");
  EXPECT_EQ(info.description, "args=-a");
  EXPECT_EQ(info.release, std::nullopt);
  EXPECT_EQ(info.codename, "last");
}

TEST_F(DistroProbeTest, FailingToolStillAnswers) {
  install_tool("printf 'Release: 7\\n'; exit 3");
  write_release_file("Fedora release 20 (Heisenbug)\n");
  const DistroInfo info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.distributor, std::nullopt);
  EXPECT_EQ(info.release, "7");
  EXPECT_EQ(info.codename, std::nullopt);
}

TEST_F(DistroProbeTest, ToolKeepsOurStderrAndGetsNoStdin) {
  install_tool(
      "printf 'Codename: from-stderr\\n' >&2\n"
      "if read -r line; then printf 'Description: read %s\\n' \"$line\"; "
      "else printf 'Description: no input\\n'; fi");
  const std::string input = files_.file("input");
  const std::string errors = files_.file("errors");
  test::write_file(input, "Distributor ID: typed\n");
  DistroInfo info;
  {
    const ScopedRedirect in(STDIN_FILENO, input, O_RDONLY);
    const ScopedRedirect err(STDERR_FILENO, errors, O_WRONLY | O_CREAT | O_TRUNC);
    info = probe_distro(sources());
  }
  EXPECT_EQ(info.description, "no input");
  EXPECT_EQ(info.codename, std::nullopt);
  EXPECT_EQ(test::read_file(errors), "Codename: from-stderr\n");
}

TEST_F(DistroProbeTest, FedoraReleaseFileWhenToolCannotStart) {
  write_release_file("Fedora release 20 (Heisenbug)\n");
  DistroInfo info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.distributor, "Fedora");
  EXPECT_EQ(info.description, "Fedora release 20 (Heisenbug)\n");
  EXPECT_EQ(info.release, "20");
  EXPECT_EQ(info.codename, "Heisenbug");

  write_release_file("Fedora release 20 (Heisen\rbug)\n");
  info = probe_distro(sources());
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.description, "Fedora release 20 (Heisen\rbug)\n");
  EXPECT_EQ(info.release, "Unknown");
  EXPECT_EQ(info.codename, "Unknown");

  write_release_file(std::string("Fedora\0 release 20 (x)", 23));
  EXPECT_EQ(probe_distro(sources()).description, "Fedora");
}

TEST_F(DistroProbeTest, NothingToAskLeavesRecordUnset) {
  const DistroInfo info = probe_distro(sources());
  EXPECT_FALSE(info.valid);
  EXPECT_EQ(info.distributor, std::nullopt);
  EXPECT_EQ(info.description, std::nullopt);
  EXPECT_EQ(info.release, std::nullopt);
  EXPECT_EQ(info.codename, std::nullopt);

  install_tool_printing("Codename: x\n");
  EXPECT_FALSE(probe_distro({"lsb_release 'unclosed", files_.file("fedora-release")}).valid);
}

// The record is process-wide, so its whole life is one sequence here.
TEST_F(DistroProbeTest, ProcessWideRecordProbesUntilOneCompletes) {
  if (g_file_test("/etc/fedora-release", G_FILE_TEST_EXISTS)) {
    GTEST_SKIP() << "/etc/fedora-release exists, so the first probe cannot fail here";
  }
  const DistroInfo *first = get_distro_information();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->valid);
  EXPECT_EQ(first->distributor, std::nullopt);
  EXPECT_EQ(first->codename, std::nullopt);
  EXPECT_FALSE(get_distro_information()->valid);

  install_tool_printing("Distributor ID:\tQor\nCodename:\tone\n");
  const DistroInfo *found = get_distro_information();
  EXPECT_EQ(found, first);
  EXPECT_TRUE(found->valid);
  EXPECT_EQ(found->distributor, "Qor");
  EXPECT_EQ(found->codename, "one");

  install_tool_printing("Distributor ID:\tOther\nCodename:\ttwo\n");
  EXPECT_EQ(get_distro_information()->distributor, "Qor");
  EXPECT_EQ(get_distro_information()->codename, "one");
}

}  // namespace
}  // namespace qor
