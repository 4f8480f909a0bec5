// The probe, with a real script first on PATH for the tool.
#include <gtest/gtest.h>

#include <algorithm>

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
  const auto rows = test::data_rows("lsb_release");
  for (std::size_t i = 0; i + 1 < rows.size(); i += 2) {
    Fields expected;
    for (std::size_t field = 0; field < expected.size(); ++field) {
      if (rows[i + 1].at(field) != "-") {
        expected[field] = rows[i + 1][field];
      }
    }
    DistroInfo info;
    parse_lsb_release_output(rows[i].at(0), info);
    EXPECT_EQ(fields(info), expected) << rows[i][0];
  }
  DistroInfo info;
  parse_lsb_release_output(std::string("Release: 1\0\nCodename: hidden\n", 29), info);
  EXPECT_EQ(fields(info), (Fields{kAbsent, kAbsent, "1", kAbsent}));
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
  EXPECT_EQ(fields(probe_distro(sources)),
            (Fields{"Fedora", "Fedora release 20 (Heisenbug)", "20", "Heisenbug"}));
  g_unlink(sources.fedora_release_path.c_str());
  EXPECT_FALSE(probe_distro(sources).valid);
  ASSERT_EQ(g_mkdir(sources.fedora_release_path.c_str(), 0755), 0);  // root reads mode 000
  EXPECT_EQ(fields(probe_distro(sources)), Fields{});

  // The process-wide record probes until a probe completes, then stays, one
  // record for every thread that asked while the tool ran.
  const DistroInfo *unset = get_distro_information();
  EXPECT_FALSE(unset->valid);
  test::write_file(bin.file("lsb_release"),
                   "#!/bin/sh\n/bin/sleep 0.2\nprintf 'Distributor ID:\\tQor\\nCodename:\\tone\\n'\n",
                   0755);
  std::vector<std::thread> threads;
  std::array<const DistroInfo *, 4> seen{};
  for (const DistroInfo *&record : seen) {
    threads.emplace_back([&record] { record = get_distro_information(); });
  }
  for (std::thread &thread : threads) {
    thread.join();
  }
  const DistroInfo *probed = seen[0];
  EXPECT_EQ(std::count(seen.begin(), seen.end(), probed), 4);
  EXPECT_EQ(fields(*probed), (Fields{"Qor", kAbsent, kAbsent, "one"}));
  test::write_tool(bin.path, "Distributor ID:\tOther\n");
  EXPECT_EQ(get_distro_information(), probed);
  EXPECT_EQ(fields(*probed), (Fields{"Qor", kAbsent, kAbsent, "one"}));
  EXPECT_FALSE(unset->valid);
}

}  // namespace
}  // namespace qor
