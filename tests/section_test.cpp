// The configuration file's sections and instruction lines, parsed as the
// loader parses them: from a stream, a chunk at a time.
#include "config/section.h"

#include <gtest/gtest.h>

#include "config/loader.h"
#include "test_util.h"

namespace qor {
namespace {

struct Case {
  std::string text;
  std::string filled;  // the lists that hold something, as filled() shows them
  std::vector<std::string> warnings = {};
  std::string_view kernel = "2.6.32";
};

std::string filled(const Configuration &config) {
  const std::pair<const char *, const std::optional<StringList> &> lists[] = {
      {"errors", config.errors},  {"sources", config.sources}, {"keys", config.keys},
      {"docs", config.docs},      {"INSTALL", config.INSTALL}, {"install", config.install},
      {"upgrade", config.upgrade}};
  std::string out;
  for (const auto &[name, list] : lists) {
    for (std::size_t i = 0; list && i < list->size(); ++i) {
      out += (i > 0 ? "|" : std::string(out.empty() ? "" : " ") + name + "=[") + (*list)[i];
    }
    out += list && !list->empty() ? "]" : "";
  }
  return out;
}

void expect_parsed(const Case &c) {
  test::LogCapture log;
  g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_data(
      g_memdup2(c.text.data(), c.text.size()), static_cast<gssize>(c.text.size()), g_free);
  LineReader lines(stream);
  Configuration config = new_configuration();
  parse_section(config, lines, "[Debian bookworm]", c.kernel);
  EXPECT_EQ(filled(config), c.filled) << c.text.substr(0, 80);
  EXPECT_EQ(log.take(), c.warnings) << c.text.substr(0, 80);
}

std::string repeat(const std::string &piece, int times) {
  std::string text;
  while (times-- > 0) {
    text += piece;
  }
  return text;
}

std::string unrecognised(std::string_view line, int byte) {
  return "Unrecognised config instruction: " + std::string(line) + " (" + std::to_string(byte) +
         ")";
}

TEST(SectionTest, InstructionLines) {
  const std::string long_value(200000, 'y');
  const Case cases[] = {
      {"s src\ng key\nd doc\nI BIG\ni small\nu up\ne err",
       "errors=[err] sources=[src] keys=[key] docs=[doc] INSTALL=[BIG] install=[small] "
       "upgrade=[up]"},
      {"sources deb x main\ns\ns\tdeb y\ns deb x main", "sources=[deb x main||deb y|deb x main]"},
      {"s    word  \t \ne    word  \t \ni \vword\v",
       "errors=[word  \t ] sources=[word] install=[word\v]"},
      {"# comment\nn anything\ns after", "sources=[after]"},
      {"s word\r\ne word\r\n\r\ni after",
       "errors=[word\r] sources=[word] install=[after]",
       {unrecognised("\r", 13)}},
      {"?x\n\xe9 high\nS big\ns after",
       "sources=[after]",
       {unrecognised("?x", 63), unrecognised("\xe9 high", -23), unrecognised("S big", 83)}},
      {"s " + long_value + "\ni after", "sources=[" + long_value + "] install=[after]"},
      // Kernel ranges: lower bound inclusive, upper exclusive, numbers by value.
      {"k 2.6 3.0 s inside", "sources=[inside]"},
      {"k 2.6 3.0 s lower", "sources=[lower]", {}, "2.6"},
      {"k 2.6 3.0 s upper", "", {}, "3.0"},
      {"k 2.6 3.0 s below", "", {}, "2.5.9"},
      {"k 2.6 3.0 s numeric", "sources=[numeric]", {}, "2.10"},
      {"k 2.6 3.0\nk 2.6 3.0 \nk x 2.6 3.0 s prefix\nk 2.6\u00a03.0\u3000s wide-spaces\n"
       "k 2.6 3.0 \xff s invalid\nk 2.6 3.0 e cr\r\nk 2.6 3.0 e ls\u2028after\n"
       "k 2.6 3.0 \r\ts breaks-are-spaces",
       "errors=[cr|ls] sources=[prefix|wide-spaces|breaks-are-spaces]"},
      {"k 1 9 k 2.6 3 s both\nk 1 9 k 3 4 s inner\nk 3 9 k 1 4 s outer\n"
       "k 1 9 k x 1 9\u00a0s prefix\nk 1 9 k 1 9\nk 1 9 [Next\nk 1 9 k 1 9 ?nested\ns after",
       "sources=[both|prefix|after]",
       {unrecognised("?nested", 63)}},
      {repeat("k 0 99 ", 100000) + "s deep\n" + repeat("k 0 99 ", 100000) + "k 0 1 s not",
       "sources=[deep]"},
  };
  for (const Case &c : cases) {
    expect_parsed({"[Debian bookworm]\n" + c.text, c.filled, c.warnings, c.kernel});
  }
}

TEST(SectionTest, TheSectionRunsFromItsHeaderToAnEmptyLineOrTheNextHeader) {
  const Case cases[] = {
      {"[Ubuntu jammy]\ni other\n\n[Debian bullseye]\ni old\n", ""},
      {"[Debian bookworm]\n\ni x\n", ""},
      {"[Debian bookworm]\ni a\ni b\n\ni c\n", "install=[a|b]"},
      {"[Debian bookworm]\ni a\n[Fedora Forty]\ni c\n", "install=[a]"},
      {"[Debian bookworm]\ni a\ni last", "install=[a|last]"},
      {"[Debian bookworm]\ni first\n[Debian bookworm]\ni second\n", "install=[first]"},
      {" [Debian bookworm]\ni a\n", ""},
      {"see [Debian bookworm]\ni a\n", ""},
      {"[debian bookworm]\ni a\n", ""},
      {repeat("x", 100000) + "\n[Debian bookworm] the packaged suite\ni a\n", "install=[a]"},
      {std::string("[Debian bookworm]\ni a\0\ni b\n", 27), "install=[a]"},
  };
  for (const Case &c : cases) {
    expect_parsed(c);
  }
}

// An empty HOME or entry would put the local copy at the root of the file
// system: with neither there is no home at all.
TEST(LoaderTest, HomeAndAnUnreadableLocalCopy) {
  EXPECT_EQ(choose_home("/home/ana", "/home/entry"), "/home/ana");
  EXPECT_EQ(choose_home(nullptr, "/home/entry"), "/home/entry");
  EXPECT_EQ(choose_home("", "/home/entry"), "/home/entry");
  EXPECT_EQ(choose_home("", ""), std::nullopt);
  EXPECT_EQ(choose_home(nullptr, std::nullopt), std::nullopt);

  g_autoptr(GError) error = nullptr;
  EXPECT_FALSE(read_configuration("/", "[Debian bookworm]", "2.6", &error));
  EXPECT_TRUE(g_error_matches(error, G_IO_ERROR, G_IO_ERROR_IS_DIRECTORY));
}

}  // namespace
}  // namespace qor
