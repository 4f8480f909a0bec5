#include "config/checker.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "config/section.h"
#include "distro/distro_info.h"
#include "test_util.h"

namespace qor {
namespace {

using Kind = FindingKind;
using Found = std::vector<std::pair<std::size_t, Kind>>;

std::string sample(std::string_view name) {
  const auto text = test::read_file(QOR_CHECK_DATA "/" + std::string(name));
  EXPECT_TRUE(text) << name;
  return text.value_or("");
}

Found found(const CheckReport &report) {
  Found out;
  for (const Finding &finding : report.findings) {
    out.emplace_back(finding.line, finding.kind);
  }
  return out;
}

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// The installed program as a publisher runs it, with a home of its own that
// must stay untouched.
ProgramRun run_checker(std::vector<std::string> args, const std::string &home) {
  args.insert(args.begin(), QOR_CHECK_PROGRAM);
  std::vector<char *> argv;
  argv.reserve(args.size() + 1);
  for (std::string &arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  g_auto(GStrv) env = g_environ_setenv(g_get_environ(), "HOME", home.c_str(), TRUE);
  g_autofree char *out = nullptr;
  g_autofree char *err = nullptr;
  ProgramRun run;
  EXPECT_TRUE(g_spawn_sync(nullptr, argv.data(), env, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err,
                           &run.status, nullptr));
  run.status = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
  run.out = out != nullptr ? out : "";
  run.err = err != nullptr ? err : "";
  return run;
}

std::string loader_dump(std::string_view text, const char *distributor, const char *codename,
                        std::string_view kernel) {
  DistroInfo info;
  info.distributor = distributor;
  info.codename = codename;
  Configuration config = new_configuration();
  LineReader lines(text);
  parse_section(config, lines, config_id(info), kernel);
  return format_configuration(config);
}

// Each sample file, the findings it gives and the message of one of them.
TEST(CheckTest, SamplesGiveTheirFindings) {
  const struct {
    const char *file;
    Found found;
    std::size_t index;
    std::string message;
  } cases[] = {
      // clang-format off
      {"clean.cfg", {{4, Kind::kSection}, {15, Kind::kSection}, {24, Kind::kSection}},
       2, "section [Fedora (null)]"},
      {"unknown.cfg", {{1, Kind::kOutsideSection}, {2, Kind::kSection},
        {3, Kind::kUnknownInstruction}, {4, Kind::kUnknownInstruction},
        {5, Kind::kUnknownInstruction}, {6, Kind::kUnknownInstruction}},
       5, "Unrecognised config instruction: \xe9 high byte (-23)"},
      {"kernel-range.cfg", {{1, Kind::kSection}, {2, Kind::kNoKernelRange},
        {3, Kind::kNoKernelRange}, {4, Kind::kEmptyKernelRange}, {5, Kind::kEmptyKernelRange},
        {7, Kind::kNoKernelRange}},
       5, "k line value \"3 s nested\" is not \"LOWER UPPER LINE\": clients ignore the line"},
      {"duplicate.cfg", {{1, Kind::kSection}, {4, Kind::kSection}, {7, Kind::kSection},
        {7, Kind::kDuplicateSection}, {9, Kind::kSection}, {9, Kind::kDuplicateSection}},
       5, "section [Debian bookworm] repeats the one at line 1: clients read only the first"},
      {"outside.cfg", {{2, Kind::kSection}, {5, Kind::kOutsideSection},
        {7, Kind::kUnclosedHeader}, {9, Kind::kSection}, {12, Kind::kOutsideSection}},
       0, "section [Debian bookworm]"},
      {"crlf.cfg", {{1, Kind::kSection}, {1, Kind::kCrLf}, {3, Kind::kUnknownInstruction}},
       0, "section [Debian bookworm]"},
      // clang-format on
  };
  for (const auto &c : cases) {
    const CheckReport report = check_configuration(sample(c.file));
    EXPECT_EQ(found(report), c.found) << c.file;
    EXPECT_EQ(report.findings.at(c.index).message, c.message) << c.file;
  }
  EXPECT_EQ(check_configuration(sample("clean.cfg")).sections[0].last_line, 13u);
  const std::string text("[a b]\ns x\n\0x unknown\r\n", 22);
  EXPECT_EQ(found(check_configuration(text)), (Found{{1, Kind::kSection}, {3, Kind::kNulByte}}));
  EXPECT_EQ(found(check_configuration("")), (Found{{0, Kind::kNoSection}}));
}

TEST(CheckTest, DeepNestingEndsWithAFinding) {
  std::string line;
  for (int i = 0; i < 200000; ++i) {
    line += "k 1 2 ";
  }
  const CheckReport report = check_configuration("[a b]\n" + line + "s x\n");
  EXPECT_EQ(found(report), (Found{{1, Kind::kSection}, {2, Kind::kDeepKernelRange}}));
}

TEST(CheckTest, FindingsAreCompilerStyleWithControlBytesEscaped) {
  EXPECT_EQ(format_finding("f.cfg", {3, Kind::kUnknownInstruction, "a\rb\tc\xe9 \xc3\xa9"}),
            "f.cfg:3: warning: a\\x0db\\x09c\\xe9 \xc3\xa9\n");
  EXPECT_EQ(format_finding("f.cfg", {4, Kind::kSection, "section [a b]"}),
            "f.cfg:4: section [a b]\n");
  EXPECT_EQ(format_finding("f.cfg", {0, Kind::kNoSection, "none"}), "f.cfg: warning: none\n");
}

TEST(CheckTest, DistributionViewIsTheLoadersDumpWithItsSectionsProblems) {
  const std::string text = sample("clean.cfg") + "[Ubuntu jammy]\n" + sample("unknown.cfg");
  const DistributionView view = view_distribution(text, "[Ubuntu jammy]", "5.15.0-91-generic");
  EXPECT_EQ(view.dump, loader_dump(text, "Ubuntu", "jammy", "5.15.0-91-generic"));
  EXPECT_NE(view.dump.find("upgrade: [qor-desktop-hwe qor-desktop]"), std::string::npos);
  EXPECT_EQ(found({view.findings, {}}), (Found{{26, Kind::kDuplicateSection}}));

  EXPECT_EQ(found({view_distribution(text, "[Debian jammy]", "6.1").findings, {}}),
            (Found{{0, Kind::kNoSection}}));
}

TEST(CheckTest, ProgramExitStatusAndStreams) {
  const test::TempDir home;
  const std::string dir = QOR_CHECK_DATA "/";
  ProgramRun run = run_checker({dir + "clean.cfg"}, home.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("clean.cfg:24: section [Fedora (null)]\n"), std::string::npos);

  run = run_checker({dir + "kernel-range.cfg"}, home.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("kernel-range.cfg:4: warning: kernel range 3.0 to 2.6"),
            std::string::npos);

  for (const auto &kernel : {"6.1.0-13-amd64", "5.10"}) {
    run = run_checker(
        {dir + "clean.cfg", "--distributor=Debian", "--codename", "bookworm", "--kernel", kernel},
        home.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, loader_dump(sample("clean.cfg"), "Debian", "bookworm", kernel));
  }

  EXPECT_EQ(run_checker({dir + "clean.cfg", "--distributor", "Debian"}, home.path()).status, 2);
  EXPECT_EQ(run_checker({"--help"}, home.path()).status, 0);
  g_autoptr(GDir) left = g_dir_open(home.path().c_str(), 0, nullptr);
  EXPECT_EQ(g_dir_read_name(left), nullptr) << "the checker wrote into the home folder";
}

// Mode 000 stops no root: a folder and a link to nothing stand for files
// that cannot be read.
TEST(CheckTest, UnreadableFileExitsTwoAndNamesIt) {
  const test::TempDir home;
  const test::TempDir files;
  const std::string folder = files.file("folder.cfg");
  const std::string dangling = files.file("dangling.cfg");
  ASSERT_EQ(g_mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(symlink(files.file("nowhere").c_str(), dangling.c_str()), 0);
  for (const std::string &file : {files.file("missing.cfg"), folder, dangling}) {
    const ProgramRun run = run_checker({file}, home.path());
    EXPECT_EQ(run.status, 2) << file;
    EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << file;
  }
}

}  // namespace
}  // namespace qor
