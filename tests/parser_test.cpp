#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/parser.h"
#include "config/section.h"
#include "test_util.h"

namespace qor {
namespace {

using test::LogCapture;

class ParserTest : public ::testing::Test {
 protected:
  bool parse(std::string_view line, std::string_view kernel = "2.6.32") {
    return parse_cfg_line(config_, line, kernel);
  }

  // The texts of the warnings logged so far, each checked to be an
  // undomained warning.
  std::vector<std::string> warnings() const {
    std::vector<std::string> texts;
    for (const auto &message : log_.messages()) {
      EXPECT_EQ(message.level, G_LOG_LEVEL_WARNING);
      EXPECT_FALSE(message.domain.has_value());
      texts.push_back(message.text);
    }
    return texts;
  }

  LogCapture log_;
  Configuration config_ = new_configuration();
};

using Strings = StringList;

TEST_F(ParserTest, LettersFillTheirLists) {
  for (const char *line : {"s src", "g key", "d doc", "I BIG", "i small", "u up", "e err"}) {
    EXPECT_TRUE(parse(line));
  }
  EXPECT_EQ(*config_.sources, Strings{"src"});
  EXPECT_EQ(*config_.keys, Strings{"key"});
  EXPECT_EQ(*config_.docs, Strings{"doc"});
  EXPECT_EQ(*config_.INSTALL, Strings{"BIG"});
  EXPECT_EQ(*config_.install, Strings{"small"});
  EXPECT_EQ(*config_.upgrade, Strings{"up"});
  EXPECT_EQ(*config_.errors, Strings{"err"});
  EXPECT_TRUE(warnings().empty());
}

TEST_F(ParserTest, FirstWordIsSkippedWholeAndDuplicatesKept) {
  parse("sources deb http://x/ main");
  parse("s");
  parse("s\tdeb http://x/ main");
  EXPECT_EQ(*config_.sources, (Strings{"deb http://x/ main", "", "deb http://x/ main"}));
}

TEST_F(ParserTest, ListValuesAreTrimmedButErrorsAreNot) {
  parse("s    word  \t ");
  parse("e    word  \t ");
  parse("i \vword\v");
  EXPECT_EQ(*config_.sources, Strings{"word"});
  EXPECT_EQ(*config_.errors, Strings{"word  \t "});
  EXPECT_EQ(*config_.install, Strings{"word\v"});  // the skip eats \v, the trim does not
}

TEST_F(ParserTest, AbsentSlotsAreLeftAloneAndErrorsCreated) {
  Configuration bare;
  EXPECT_TRUE(parse_cfg_line(bare, "s x", "1"));
  EXPECT_FALSE(bare.sources.has_value());
  EXPECT_TRUE(parse_cfg_line(bare, "e", "1"));
  EXPECT_EQ(*bare.errors, Strings{""});
}

TEST_F(ParserTest, SilentLinesAndTheSectionEnd) {
  for (const char *line : {"", "# comment", "n anything", "\nx"}) {
    EXPECT_TRUE(parse(line)) << line;
  }
  EXPECT_FALSE(parse("[Other release]"));
  EXPECT_TRUE(warnings().empty());
  EXPECT_TRUE(config_.sources->empty());
}

TEST_F(ParserTest, CarriageReturnLines) {
  parse("s word\r");
  parse("e word\r");
  EXPECT_TRUE(parse("\r"));
  EXPECT_EQ(*config_.sources, Strings{"word"});
  EXPECT_EQ(*config_.errors, Strings{"word\r"});
  EXPECT_EQ(warnings(), std::vector<std::string>{"Unrecognised config instruction: \r (13)"});
}

TEST_F(ParserTest, EveryFirstByteIsRecognisedOrWarned) {
  const std::string known = "esgdIiuk[#n\n";
  for (int byte = 1; byte < 256; ++byte) {
    log_.clear();
    const std::string line = std::string(1, static_cast<char>(byte)) + "x";
    EXPECT_EQ(parse(line), byte != '[');
    if (known.find(static_cast<char>(byte)) != std::string::npos) {
      EXPECT_TRUE(warnings().empty()) << byte;
    } else {
      const int shown = byte < 128 ? byte : byte - 256;
      EXPECT_EQ(warnings(), std::vector<std::string>{"Unrecognised config instruction: " + line +
                                                     " (" + std::to_string(shown) + ")"});
    }
  }
}

TEST_F(ParserTest, NothingAfterNulCounts) {
  EXPECT_TRUE(parse(std::string_view("s a\0b", 5)));
  EXPECT_TRUE(parse(std::string_view("\0[", 2)));
  EXPECT_TRUE(parse(std::string_view("?a\0b", 4)));
  EXPECT_EQ(*config_.sources, Strings{"a"});
  EXPECT_EQ(warnings(), std::vector<std::string>{"Unrecognised config instruction: ?a (63)"});
}

TEST_F(ParserTest, KernelRangeBoundsLowerInclusiveUpperExclusive) {
  EXPECT_TRUE(parse("k 2.6 3.0 s inside", "2.6.32"));
  EXPECT_TRUE(parse("k 2.6 3.0 s lower", "2.6"));
  EXPECT_TRUE(parse("k 2.6 3.0 s upper", "3.0"));
  EXPECT_TRUE(parse("k 2.6 3.0 s below", "2.5.9"));
  EXPECT_TRUE(parse("k 2.6 3.0 s numeric", "2.10"));
  EXPECT_EQ(*config_.sources, (Strings{"inside", "lower", "numeric"}));
}

TEST_F(ParserTest, KernelRangeLineShapes) {
  parse("k 2.6 3.0");   // no white space after the upper bound: no match
  parse("k 2.6 3.0 ");  // nested line empty: nothing
  parse("k x 2.6 3.0 s skipped-prefix");
  parse("k 2.6\u00a03.0\u3000s unicode-space");
  parse("k 2.6 3.0 \xff s invalid-utf8");
  parse("k 2.6 3.0 e nested\r");
  parse("k 2.6 3.0 e nested\u2028after");
  parse("k 2.6 3.0 \r\n\ts after-breaks");
  EXPECT_EQ(*config_.sources, (Strings{"skipped-prefix", "unicode-space", "after-breaks"}));
  EXPECT_EQ(*config_.errors, (Strings{"nested", "nested"}));
  EXPECT_TRUE(warnings().empty());
}

TEST_F(ParserTest, NestedRanges) {
  parse("k 1 9 k 2.6 3 s both");
  parse("k 1 9 k 3 4 s inner-excludes");
  parse("k 3 9 k 1 4 s outer-excludes");
  parse("k 1 9 k x 1 9\u00a0s prefix-and-unicode-space");
  parse("k 1 9 k 1 9");
  EXPECT_TRUE(parse("k 1 9 [Next section]"));
  EXPECT_TRUE(parse("k 1 9 k 1 9 ?nested text"));
  EXPECT_EQ(*config_.sources, (Strings{"both", "prefix-and-unicode-space"}));
  EXPECT_EQ(warnings(),
            std::vector<std::string>{"Unrecognised config instruction: ?nested text (63)"});
}

TEST_F(ParserTest, DeepNestingNeitherCrashesNorRecurses) {
  std::string line;
  for (int i = 0; i < 100000; ++i) {
    line += "k 0 99 ";
  }
  EXPECT_TRUE(parse(line + "s deep"));
  EXPECT_TRUE(parse(line + "k 0 1 s excluded"));
  EXPECT_TRUE(parse(line + "\xc0\x80 s invalid"));
  EXPECT_EQ(*config_.sources, Strings{"deep"});
}

}  // namespace
}  // namespace qor
