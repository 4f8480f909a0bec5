// Version order, kernel ranges, the loader's reading, and qor-config-check.
#include <gtest/gtest.h>

#include <random>

#include <qor/compare_versions.hpp>
#include "qor-config-check/checker.h"
#include "config/kernel_range.h"
#include "load/loader.h"
#include "signature/signature.h"
#include "test_util.h"

namespace qor {
namespace {

// Each pair is ordered both ways, to see that the order is antisymmetric.
TEST(VersionTest, OrdersComponentByComponent) {
  const struct {
    std::string_view a;
    std::string_view b;
    int order;  // the sign of compare_versions(a, b)
  } cases[] = {
      // clang-format off
      // Numbers by their value, at any length.
      {"10", "9", 1}, {"2.6.32", "2.6.4", 1}, {"01", "1", 0}, {"4294967296", "0", 1},
      {"18446744073709551616", "18446744073709551615", 1},
      {"00018446744073709551616", "18446744073709551616", 0},
      // Anything else byte by byte, bytes unsigned.
      {"10a", "9", -1}, {"6.1.0-18-amd64", "6.1.0-18-arm64", -1}, {"rc1", "rc10", -1},
      {"1.\xff", "1.a", 1}, {"01a", "1a", -1}, {".1", "0.1", -1},
      // The separators alike, each making a component; more components after.
      {"1.2", "1:2", 0}, {"3.13.0-24-generic", "3:13:0.24.generic", 0}, {"1..2", "1.0.2", -1},
      {"3.13", "3.13.0-24-generic", -1}, {"1.2", "1.2.", -1}, {"", "", 0}, {"", "0", -1},
      // clang-format on
  };
  const auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const auto &c : cases) {
    EXPECT_EQ(sign(compare_versions(c.a, c.b)), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(compare_versions(c.b, c.a)), -c.order) << c.b << " vs " << c.a;
  }
}

std::string reference_match(const GRegex *regex, const std::string &value) {
  g_autoptr(GMatchInfo) info = nullptr;
  if (!g_regex_match(regex, value.c_str(), GRegexMatchFlags(0), &info)) {
    return "none";
  }
  g_auto(GStrv) groups = g_match_info_fetch_all(info);
  return std::string(groups[1]) + "|" + groups[2] + "|" + groups[3];
}

std::string ours(const std::string &value) {
  const std::optional<KernelRange> range = match_kernel_range(value);
  return range ? std::string(range->lower) + "|" + std::string(range->upper) + "|" +
                     std::string(range->nested)
               : "none";
}

// Values of bounds, every kind of white space and line break, near misses and
// broken UTF-8; the first eight pieces are the likeliest, so matches are many.
TEST(KernelRangeTest, AgreesWithTheRegexEngine) {
  // clang-format off
  const std::vector<std::string> pieces = {
      "0", "1", "9", "42", ".", "..", " ", " ", "\t", "\n", "\r", "\v", "\f", "\u0085", "\u00a0",
      "\u1680", "\u180e", "\u2000", "\u200a", "\u2028", "\u2029", "\u202f", "\u205f", "\u3000",
      "\x1c", "\x1f", "\u200b", "\u0660", "\ufffe", "\U0010ffff", "a", "k", "s", "x y",
      "\xc3\xa9", "\xff", "\x80", "\xe2\x80", "\xed\xa0\x80", "\xc0\x80", "\xf4\x90\x80\x80",
      "\xe0\x80\x80"};
  // clang-format on
  g_autoptr(GRegex) regex = g_regex_new(R"(([0-9.]+)\s+([0-9.]+)\s+(.*))", GRegexCompileFlags(0),
                                        GRegexMatchFlags(0), nullptr);
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> count(0, 10);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  int matches = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string value;
    for (std::size_t n = count(random); n > 0; --n) {
      value += pieces[random() % 4 == 0 ? pick(random) : pick(random) % 8];
    }
    const std::string expected = reference_match(regex, value);
    ASSERT_EQ(ours(value), expected) << g_strescape(value.c_str(), nullptr);
    matches += expected != "none" ? 1 : 0;
  }
  EXPECT_GT(matches, 10000);  // the comparison is worth something only with matches
}

// The loader reads a chunk at a time: long lines, before the header or in the
// section, and kernel ranges nested very deep must come through whole.
TEST(LoaderTest, LongLinesAndDeepRangesComeThroughWhole) {
  const test::TempDir dir;
  const std::string value(200000, 'v');
  std::string text = std::string(100000, 'x') + "\n[Debian bookworm]\n";
  for (const char *end : {"s deep\n", "k 0 1 s not\ns "}) {
    for (int level = 0; level < 100000; ++level) {
      text += "k 0 99 ";
    }
    text += end;
  }
  test::write_file(dir.file("config"), text + value + "\ni after");
  const auto config = read_configuration(dir.file("config"), "[Debian bookworm]", "6.1", nullptr);
  ASSERT_TRUE(config);
  EXPECT_EQ(*config->sources, (StringList{"deep", value}));
  EXPECT_EQ(*config->install, StringList{"after"});
  g_autoptr(GError) error = nullptr;
  EXPECT_FALSE(read_configuration(dir.path, "[Debian bookworm]", "6.1", &error));
  EXPECT_TRUE(g_error_matches(error, G_IO_ERROR, G_IO_ERROR_IS_DIRECTORY));
}

// Each case is tests/data/check/NAME.args: the exit status, then the arguments;
// NAME.out and NAME.err hold what the program must write, if anything.
TEST(CheckerTest, ReportsAndDumps) {
  const std::filesystem::path folder = QOR_TEST_DATA "/check";
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::path file = entry.path();
    if (file.extension() != ".args") {
      continue;
    }
    std::istringstream args(test::read_file(file).value());
    std::vector<std::string> argv = {QOR_CONFIG_CHECK};
    int status = 0;
    args >> status;
    for (std::string arg; args >> arg;) {
      argv.push_back(arg);
    }
    const test::Run run = test::run_program(argv, {}, folder.c_str());
    EXPECT_EQ(run.status, status) << file;
    EXPECT_EQ(run.out, test::read_file(file.replace_extension(".out")).value_or("")) << file;
    EXPECT_EQ(run.err, test::read_file(file.replace_extension(".err")).value_or("")) << file;
  }
  // Lost output: a full disk, and a FIFO no process reads (the shell alone ever opened it).
  for (const auto &[script, error] :
       {std::pair{"exec \"$0\" \"$@\" >/dev/full", "No space left on device"},
        {"p=$(mktemp -u) && mkfifo $p && exec 3<>$p 4>$p 3<&- && rm $p && exec \"$0\" \"$@\" >&4",
         "Broken pipe"}}) {
    const test::Run lost = test::run_program(
        {"/bin/sh", "-c", script, QOR_CONFIG_CHECK, "clean.cfg"}, {}, folder.c_str());
    EXPECT_EQ(lost.status, 2) << script;
    EXPECT_EQ(lost.err, std::string("qor-config-check: cannot write: ") + error + "\n") << script;
  }
}

// The checker's report of a signature; which signatures clients take is
// tested end to end. The real minisign makes the key and the signatures.
TEST(CheckerTest, TellsWhetherClientsTakeASignature) {
  g_autofree char *minisign = g_find_program_in_path("minisign");
  if (minisign == nullptr) {
    GTEST_SKIP() << "no minisign on PATH";
  }
  const test::TempDir dir;
  const auto run = [&](std::vector<std::string> argv) {
    return test::run_program(std::move(argv), {}, dir.path.c_str());
  };
  // Signs file (given its text) as NAME.minisig with the trusted comment.
  const auto sign = [&](const std::string &name, const std::string &text,
                        const std::string &comment, bool legacy = false) {
    test::write_file(dir.file(name), text);
    std::vector<std::string> argv = {minisign, "-S", "-s", "sec", "-m", name, "-t", comment};
    if (legacy) {
      argv.emplace_back("-l");
    }
    EXPECT_EQ(run(argv).status, 0);
    return name + ".minisig";
  };
  ASSERT_EQ(run({minisign, "-G", "-W", "-p", "pub", "-s", "sec"}).status, 0);
  const std::string file = "[Debian bookworm]\ni qor\n";
  const std::string good = sign("qor-config.cfg", file, "timestamp:7");
  test::write_file(dir.file("tampered.cfg"), "[Debian bookworm]\ni qor-evil\n");
  // CR LF line ends, and none after the last line.
  const std::string lf = test::read_file(dir.file(good)).value();
  test::write_file(dir.file("crlf.minisig"),
                   test::replaced(lf.substr(0, lf.size() - 1), "\n", "\r\n"));
  const std::int64_t now = g_get_real_time() / G_USEC_PER_SEC;
  const std::string ahead = std::to_string(now + 2 * 24 * 3600);
  const auto expiring = [&](const std::string &name, const std::string &expires) {
    return sign(name, file, "timestamp:7\texpires:" + expires);
  };
  const std::int64_t decade = std::int64_t{3653} * 24 * 3600;
  const std::string far = std::to_string(now + decade + 60);
  const std::string ms = std::to_string((now + 30 * 24 * 3600) * 1000);
  const std::string pub = test::read_file(dir.file("pub")).value();
  const std::string key = pub.substr(pub.find('\n') + 1, 56);
  // minisign shows the key id on the public key's first line, without leading zeros.
  std::string shown = pub.substr(0, pub.find('\n'));
  shown.erase(0, shown.rfind(' ') + 1);
  const std::string id = "key id " + std::string(16 - shown.size(), '0') + shown + "\n";
  const struct {
    std::string file, signature;
    int status;
    std::string verdict;  // in the report, or on standard error for status 2
  } cases[] = {
      {"qor-config.cfg", good, 0, "trusted comment: timestamp:7\n"},
      {"qor-config.cfg", good, 0, "a client would take the file"},
      {"qor-config.cfg", "crlf.minisig", 0, "timestamp 7 (1970-01-01 00:00:07 UTC)"},
      {"tampered.cfg", good, 1,
       "warning: a client would refuse the file: bad signature of the file"},
      {"big.cfg", sign("big.cfg", std::string(kMaxLegacyFileSize + 1, 'b'), "timestamp:7", true), 1,
       "a legacy signature is taken for files up to 16 MiB"},
      {"ms.cfg", sign("ms.cfg", file, "timestamp:1765000000000"), 1,
       "warning: timestamp 1765000000000 looks like milliseconds"},
      {"ahead.cfg", sign("ahead.cfg", file, "timestamp:" + ahead), 1,
       "is more than a day ahead of this machine's clock"},
      {"expired.cfg", sign("expired.cfg", file, "timestamp:7\texpires:8"), 1,
       "expires 8 (1970-01-01 00:00:08 UTC)\nexpired.cfg.minisig: warning: a client would refuse"},
      {"decade.cfg", expiring("decade.cfg", std::to_string(now + decade - 60)), 0,
       "a client would take the file with this signature\n"},
      {"far.cfg", expiring("far.cfg", far), 1,
       "take the file with this signature\nfar.cfg.minisig: warning: expires:" + far +
           " is more than ten years ahead of this machine's clock"},
      {"ms-expiry.cfg", expiring("ms-expiry.cfg", ms), 1,
       "warning: expires:" + ms + " looks like milliseconds"},
      {"typo.cfg", expiring("typo.cfg", "abc"), 1,
       "expires abc\ntypo.cfg.minisig: warning: a client would refuse the file: expired "
       "signature: its trusted comment says expires:abc, which is not a time in seconds"},
      {"qor-config.cfg", "/dev/zero", 2, "Cannot read /dev/zero: not a regular file\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.signature);
    const test::Run check =
        run({QOR_CONFIG_CHECK, c.file, "--signature", c.signature, "--key", key});
    EXPECT_EQ(check.status, c.status) << check.err;
    if (c.status == 2) {
      EXPECT_EQ(check.err, "qor-config-check: " + c.verdict);
      continue;
    }
    EXPECT_NE(check.out.find(id), std::string::npos) << check.out;
    EXPECT_NE(check.out.find(c.verdict), std::string::npos) << check.out;
  }
}

}  // namespace
}  // namespace qor
