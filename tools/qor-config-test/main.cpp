// qor-config-test: probes the distribution, loads its configuration once and
// reports both.
#include <cstdio>
#include <string>

#include <qor/configuration.hpp>
#include <qor/distro_info.hpp>
#include "load/local_copy.h"
#include "qor-config-test/early_download.h"
#include "qor-config-test/heap_pages.h"

int main(int /*argc*/, char ** /*argv*/) {
  qor::use_huge_heap_pages();
  // The download does not need the distribution, so it runs while the probe
  // does; all that shows of it waits for the distribution block.
  qor::ConfigurationDownload download;

  const qor::DistroInfo *info = qor::get_distro_information();
  if (info == nullptr) {
    (void)std::fputs("ERROR: No distro information (!)\n", stdout);
    return 1;
  }
  const std::string distributor(qor::field_text(info->distributor));
  const std::string release(qor::field_text(info->release));
  const std::string codename(qor::field_text(info->codename));
  std::printf(
      "Distribution:\n{\n    distributor: '%s'\n    release    : '%s'\n"
      "    codename   : '%s'\n    config-id  : %s\n}\n",
      distributor.c_str(), release.c_str(), codename.c_str(), qor::config_id(*info).c_str());
  // The dump that follows goes to unbuffered standard error; flush so that in
  // a combined stream the distribution block still comes first.
  (void)std::fflush(stdout);

  if (qor::get_configuration(download) == nullptr) {
    std::printf("Config not found at %s\n", qor::published_source().url.c_str());
    return 1;
  }
  return 0;
}
