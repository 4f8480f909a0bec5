// qor-config-check as a publisher runs it, against the reports it must give.
#include <gtest/gtest.h>

#include "test_util.h"

namespace qor {
namespace {

TEST(CheckerTest, ReportsAndDumps) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;  // the file in tests/data/check that holds standard output
    std::string err;  // the same for standard error, or the text of it
  } cases[] = {
      {{"clean.cfg"}, 0, "clean.out", ""},
      {{"unknown.cfg"}, 1, "unknown.out", ""},
      {{"kernel-range.cfg"}, 1, "kernel-range.out", ""},
      {{"duplicate.cfg"}, 1, "duplicate.out", ""},
      {{"outside.cfg"}, 1, "outside.out", ""},
      {{"crlf.cfg"}, 1, "crlf.out", ""},
      {{"deep-and-nul.cfg"}, 1, "deep-and-nul.out", ""},
      {{"--distributor=Ubuntu", "--codename", "jammy", "--kernel", "5.15.0-91-generic",
        "clean.cfg"},
       0,
       "clean-ubuntu.out",
       ""},
      {{"--distributor=Debian", "--codename", "bookworm", "--kernel", "6.1", "unknown.cfg"},
       1,
       "empty.out",
       "unknown-debian.err"},
      {{"--distributor=Debian", "--codename", "trixie", "clean.cfg"},
       1,
       "empty.out",
       "clean.cfg: warning: no section for [Debian trixie]: clients there get empty lists\n"},
      {{"--distributor", "Debian", "clean.cfg"},
       2,
       "",
       "qor-config-check: --distributor and --codename go together\n"
       "Try 'qor-config-check --help' for more.\n"},
      {{"."}, 2, "", "qor-config-check: Error reading file “.”: Is a directory\n"},
  };
  const std::string folder = QOR_TEST_DATA "/check/";
  for (const auto &c : cases) {
    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), QOR_CONFIG_CHECK);
    const test::Run run = test::run_program(argv, {}, folder.c_str());
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out.empty() ? "" : test::read_file(folder + c.out).value_or("?"));
    EXPECT_EQ(run.err,
              c.err.ends_with(".err") ? test::read_file(folder + c.err).value_or("?") : c.err);
  }
}

}  // namespace
}  // namespace qor
