// Version order, kernel ranges, the loader's reading, and qor-config-check.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include <qor/compare_versions.hpp>
#include "config/kernel_range.h"
#include "load/loader.h"
#include "qor-config-check/checker.h"
#include "signature/signature.h"
#include "test_util.h"

namespace qor {
namespace {

TEST(VersionTest, OrdersComponentByComponent) {
  const std::map<std::string, int> signs = {{"<", -1}, {"=", 0}, {">", 1}};
  const auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const auto &[a, order, b] : test::rows<3>("versions")) {
    EXPECT_EQ(sign(compare_versions(a, b)), signs.at(order)) << a << " vs " << b;
    EXPECT_EQ(sign(compare_versions(b, a)), -signs.at(order)) << b << " vs " << a;
  }
}

TEST(KernelRangeTest, AgreesWithTheRegexEngine) {
  const auto pieces = test::rows<1>("kernel-range-pieces");
  g_autoptr(GRegex) regex = g_regex_new(R"(([0-9.]+)\s+([0-9.]+)\s+(.*))", GRegexCompileFlags(0),
                                        GRegexMatchFlags(0), nullptr);
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> count(0, 10);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  int matches = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string value;
    for (std::size_t n = count(random); n > 0; --n) {
      value += pieces[random() % 4 == 0 ? pick(random) : pick(random) % 8][0];
    }
    g_autoptr(GMatchInfo) info = nullptr;
    const bool expected = g_regex_match(regex, value.c_str(), GRegexMatchFlags(0), &info);
    const std::optional<KernelRange> range = match_kernel_range(value);
    ASSERT_EQ(range.has_value(), expected) << g_strescape(value.c_str(), nullptr);
    if (expected) {
      g_auto(GStrv) groups = g_match_info_fetch_all(info);
      ASSERT_EQ((std::vector<std::string_view>{range->lower, range->upper, range->nested}),
                (std::vector<std::string_view>{groups[1], groups[2], groups[3]}));
      ++matches;
    }
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

const std::filesystem::path kCases = QOR_TEST_DATA "/check";

std::string case_file(const std::filesystem::path &name) {
  return test::read_file(kCases / name).value();
}

const std::string kKeyA = "RWRCUOHvHeKzAJbR1v16XxX4CGnPMQjVH9HSxBLTHmdR3uReVmvr5VAB";  // keys/a.pub
const std::vector<PublicKey> kTrustA = {parse_public_key(kKeyA).value()};

// What the checker would print for a row "NOW FILE SIGNATURE" if its clock said NOW.
std::string check_at(std::istream &row) {
  std::int64_t now = 0;
  std::string file, signature;  // NOLINT(readability-isolate-declaration)
  row >> now >> file >> signature;
  std::string out;
  for (const Finding &finding :
       check_signature(case_file(file), case_file(signature), kTrustA, now)) {
    out += format_finding(signature, finding);
  }
  return out;
}

// A legacy signature covers the whole file, held in memory up to 16 MiB, never a digest; a
// build's list of keys is trimmed, skips empty items, and fails whole for one that is no key.
TEST(SignatureTest, LegacyFilesAndKeyLists) {
  const std::string legacy = case_file("legacy.minisig");
  const std::string refused = "a client would refuse the file: bad signature of the file: ";
  EXPECT_EQ(
      check_signature(std::string(kMaxLegacyFileSize, 'b'), legacy, kTrustA, 0).back().message,
      refused + "it is not the file that was signed");
  EXPECT_EQ(
      check_signature(std::string(kMaxLegacyFileSize + 1, 'b'), legacy, kTrustA, 0).back().message,
      refused +
          "a legacy signature is taken for files up to 16 MiB; sign with minisign -S without -l");
  g_autoptr(GError) error = nullptr;
  EXPECT_FALSE(verify_signature(parse_signature(legacy, nullptr).value(),
                                hash_file(case_file("signed.cfg")), kTrustA, {}, &error));
  EXPECT_EQ(
      test::outcome(error),
      "qor-signature-error 3 bad signature of the file: a legacy signature needs the whole file");
  const auto keys = parse_public_keys(" ;" + kKeyA + " ;");
  ASSERT_EQ(keys.value().size(), 1U);
  EXPECT_EQ(format_key_id(keys->at(0).id), "00B3E21DEFE15042");
  EXPECT_EQ(parse_public_keys(kKeyA + ";RWnot-a-key"), std::nullopt);
}

// The cases are in tests/data/check/, whose README tells what each file holds.
TEST(CheckerTest, ReportsAndDumps) {
  for (const auto &entry : std::filesystem::directory_iterator(kCases)) {
    std::filesystem::path file = entry.path();
    std::istringstream row(test::read_file(file).value_or(""));
    if (file.extension() == ".now") {
      EXPECT_EQ(check_at(row), case_file(file.replace_extension(".out"))) << file;
      continue;
    }
    if (file.extension() != ".args" ||
        (file.stem().string().starts_with("unkeyed-") && !build_keys().empty())) {
      continue;
    }
    int status = 0;
    std::string command;
    std::getline(row >> status >> std::ws, command);
    const test::Run run =
        test::run_program({"/bin/sh", "-c", command, QOR_CONFIG_CHECK}, {}, kCases.c_str());
    EXPECT_EQ(run.status, status) << file;
    EXPECT_EQ(run.out, test::read_file(file.replace_extension(".out")).value_or("")) << file;
    EXPECT_EQ(run.err, test::read_file(file.replace_extension(".err")).value_or("")) << file;
  }
}

}  // namespace
}  // namespace qor
