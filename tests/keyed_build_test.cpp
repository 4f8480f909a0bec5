// A build that trusts a key (scripts/run-tests --signed), run as a user runs it.
#include "support/end_to_end.h"

namespace qor::test {
namespace {

// In a build that trusts a key (scripts/run-tests --signed), the program
// takes only the file its signature vouches for.
TEST_F(SignedCopyTest, AKeyedBuildTakesOnlyTheSignedFile) {
  const std::string file = "[Debian bookworm]\ns signed\n";
  serve(file, sign(QOR_TEST_SIGNING_KEY, file, {}));
  test::write_tool(bin_.path, "Distributor ID:\tDebian\nCodename:\tbookworm\n");
  std::vector<std::string> env = {"PATH=" + bin_.path, "HOME=" + home_.path};
  env.insert(env.end(), source_.begin(), source_.end());
  EXPECT_EQ(test::run_program({QOR_CONFIG_TEST}, env).status, 0);
  const auto taken = kept();
  EXPECT_EQ(taken.first, file);
  serve(file + "s unsigned\n", sign(QOR_TEST_SIGNING_KEY, file + "s other\n", {}));
  const test::Run refused = test::run_program({QOR_CONFIG_TEST}, env);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("Config not found at"), std::string::npos);
  EXPECT_NE(refused.err.find("signature was refused: bad signature of the file"), std::string::npos)
      << refused.err;
  EXPECT_EQ(kept(), taken);
}

}  // namespace
}  // namespace qor::test
