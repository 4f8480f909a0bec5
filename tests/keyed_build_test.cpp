// A build that trusts key a (scripts/run-tests --signed), run as a user runs it.
#include "support/end_to_end.h"

namespace qor::test {
namespace {

TEST_F(SignedCopyTest, AKeyedBuildTakesOnlyTheSignedFile) {
  serve(two_, signature("two-a-200"));
  write_tool(bin_.path, "Distributor ID:\tDebian\nCodename:\tbookworm\n");
  EXPECT_EQ(run_program({QOR_CONFIG_TEST}, environment()).status, 0);
  const auto taken = kept();
  EXPECT_EQ(taken.first, two_);
  serve(one_, signature("two-a-300"));  // another file's
  const test::Run refused = run_program({QOR_CONFIG_TEST}, environment());
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("Config not found at"), std::string::npos);
  EXPECT_NE(refused.err.find("signature was refused: bad signature of the file"), std::string::npos)
      << refused.err;
  EXPECT_EQ(kept(), taken);
}

}  // namespace
}  // namespace qor::test
