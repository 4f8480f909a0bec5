// The probe, with a real script first on PATH for the tool.
#include <gtest/gtest.h>

#include <future>

#include "distro/probe.h"
#include "test_util.h"

namespace qor::test {
namespace {

using Fields = std::vector<std::string>;

// The four fields of info, "-" for an absent one.
Fields fields(const DistroInfo &info) {
  Fields shown;
  for (const auto *field : {&info.distributor, &info.description, &info.release, &info.codename}) {
    shown.push_back(field->value_or("-"));
  }
  return shown;
}

TEST(DistroProbeTest, ToolOutputTrimsValuesNotKeys) {
  for (const auto &[output, distributor, description, release, codename] : rows<5>("lsb_release")) {
    DistroInfo info;
    parse_lsb_release_output(output, info);
    EXPECT_EQ(fields(info), (Fields{distributor, description, release, codename})) << output;
  }
  DistroInfo info;
  parse_lsb_release_output(std::string("Release: 1\0\nCodename: hidden\n", 29), info);
  EXPECT_EQ(fields(info), (Fields{"-", "-", "1", "-"}));
  // On the fallback road the name may not hold a line break either.
  EXPECT_EQ(fields(parse_fedora_release("Fedora release 20 (Heisen\rbug)")),
            (Fields{"Fedora", "Fedora release 20 (Heisen\rbug)", "Unknown", "Unknown"}));
}

TEST(DistroProbeTest, ToolFirstThenFedoraReleaseFile) {
  const TempDir bin;
  const TempDir etc;
  g_setenv("PATH", bin.path.c_str(), TRUE);
  const DistroSources sources{"lsb_release -a", etc.file("fedora-release")};
  write_file(sources.fedora_release_path, "Fedora release 20 (Heisenbug)");
  write_tool(bin.path, "Release: 7\n", 3);  // it fails, but has answered
  const DistroInfo answered = probe_distro(sources);
  EXPECT_TRUE(answered.valid);
  EXPECT_EQ(fields(answered), (Fields{"-", "-", "7", "-"}));
  g_unlink(bin.file("lsb_release").c_str());
  EXPECT_EQ(fields(probe_distro(sources)),
            (Fields{"Fedora", "Fedora release 20 (Heisenbug)", "20", "Heisenbug"}));
  g_unlink(sources.fedora_release_path.c_str());
  EXPECT_FALSE(probe_distro(sources).valid);
  ASSERT_EQ(g_mkdir(sources.fedora_release_path.c_str(), 0755), 0);  // root reads mode 000
  EXPECT_EQ(fields(probe_distro(sources)), (Fields{"-", "-", "-", "-"}));

  // The process-wide record probes until a probe completes, then stays, one
  // record for every thread that asked while the tool ran.
  const DistroInfo *unset = get_distro_information();
  EXPECT_FALSE(unset->valid);
  write_file(bin.file("lsb_release"),
             "#!/bin/sh\n/bin/sleep 0.2\nprintf 'Distributor ID:\\tQor\\nCodename:\\tone\\n'\n",
             0755);
  std::vector<std::future<const DistroInfo *>> asked;
  for (int i = 0; i < 4; ++i) {
    asked.push_back(std::async(std::launch::async, get_distro_information));
  }
  const DistroInfo *probed = asked[0].get();
  for (std::size_t i = 1; i < asked.size(); ++i) {
    EXPECT_EQ(asked[i].get(), probed);
  }
  EXPECT_EQ(fields(*probed), (Fields{"Qor", "-", "-", "one"}));
  write_tool(bin.path, "Distributor ID:\tOther\n");
  EXPECT_EQ(get_distro_information(), probed);
  EXPECT_EQ(fields(*probed), (Fields{"Qor", "-", "-", "one"}));
  EXPECT_FALSE(unset->valid);
}

}  // namespace
}  // namespace qor::test
