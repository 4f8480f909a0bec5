// The probe, with a real script first on PATH for the tool.
#include <gtest/gtest.h>

#include "distro/probe.h"
#include "test_util.h"

namespace qor {
namespace {

using Fields = std::array<std::optional<std::string>, 4>;
constexpr std::nullopt_t kAbsent = std::nullopt;

Fields fields(const DistroInfo &info) {
  return {info.distributor, info.description, info.release, info.codename};
}

TEST(DistroProbeTest, ToolOutputTrimsValuesNotKeys) {
  const std::string fedora = "Distributor ID:\tFedora\nCodename:\tTool\nRelease:\t20.1\n";
  const std::pair<std::string, Fields> cases[] = {
      {"Distributor ID:\t Qor \r\nDescription:\fQor 1.0 at 12:30:05 \nRelease :9\n"
       "Codename:\vname\v\n",
       {"Qor", "Qor 1.0 at 12:30:05", kAbsent, "\vname\v"}},
      {"Release: 1\nRelease: 2\n\nNo LSB modules.\nCodename: old\nCodename\nDescription:\n"
       "distributor id: qor\n",
       {kAbsent, "", "2", kAbsent}},
      {std::string("Release: 1\0\nCodename: hidden\n", 29), {kAbsent, kAbsent, "1", kAbsent}},
      // Fedora's codename comes from its description when that names one.
      {fedora + "Description:\tFedora release 20 (Heisen bug) (x)",
       {"Fedora", "Fedora release 20 (Heisen bug) (x)", "20.1", "Heisen bug"}},
      {fedora + "Description:\tFedora 39", {"Fedora", "Fedora 39", "20.1", "Tool"}},
      {"Description: Fedora release 20 (x)\nCodename: Tool",
       {kAbsent, "Fedora release 20 (x)", kAbsent, "Tool"}},
  };
  for (const auto &[output, expected] : cases) {
    DistroInfo info;
    parse_lsb_release_output(output, info);
    EXPECT_EQ(fields(info), expected) << output;
  }
  // On the fallback road the name may not hold a line break either.
  EXPECT_EQ(fields(parse_fedora_release("Fedora release 20 (Heisen\rbug)")),
            (Fields{"Fedora", "Fedora release 20 (Heisen\rbug)", "Unknown", "Unknown"}));
}

TEST(DistroProbeTest, ToolFirstThenFedoraReleaseFile) {
  const test::TempDir bin;
  const test::TempDir etc;
  g_setenv("PATH", bin.path.c_str(), TRUE);
  const DistroSources sources{"lsb_release -a", etc.file("fedora-release")};
  test::write_file(sources.fedora_release_path, "Fedora release 20 (Heisenbug)");
  test::write_tool(bin.path, "Release: 7\n", 3);  // it fails, but has answered
  const DistroInfo answered = probe_distro(sources);
  EXPECT_TRUE(answered.valid);
  EXPECT_EQ(fields(answered), (Fields{kAbsent, kAbsent, "7", kAbsent}));
  g_unlink(bin.file("lsb_release").c_str());
  g_unlink(sources.fedora_release_path.c_str());
  EXPECT_FALSE(probe_distro(sources).valid);
  ASSERT_EQ(g_mkdir(sources.fedora_release_path.c_str(), 0755), 0);  // root reads mode 000
  EXPECT_EQ(fields(probe_distro(sources)), Fields{});

  // The process-wide record probes until a probe completes, then stays.
  const DistroInfo *unset = get_distro_information();
  EXPECT_FALSE(unset->valid);
  test::write_tool(bin.path, "Distributor ID:\tQor\nCodename:\tone\n");
  const DistroInfo *probed = get_distro_information();
  EXPECT_EQ(fields(*probed), (Fields{"Qor", kAbsent, kAbsent, "one"}));
  test::write_tool(bin.path, "Distributor ID:\tOther\n");
  EXPECT_EQ(get_distro_information(), probed);
  EXPECT_EQ(fields(*probed), (Fields{"Qor", kAbsent, kAbsent, "one"}));
  EXPECT_FALSE(unset->valid);
}

}  // namespace
}  // namespace qor
