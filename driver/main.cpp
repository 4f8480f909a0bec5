// qor-config-test: probes the distribution, loads its configuration once and
// reports both.
#include <cstdio>

#include "config/configuration.h"
#include "distro/distro_info.h"

int main(int /*argc*/, char ** /*argv*/) {
  const qor::DistroInfo *info = qor::get_distro_information();
  if (info == nullptr) {
    (void)std::fputs("ERROR: No distro information (!)\n", stdout);
    return 1;
  }
  const auto distributor = qor::field_text(info->distributor);
  const auto release = qor::field_text(info->release);
  const auto codename = qor::field_text(info->codename);
  std::printf(
      "Distribution:\n{\n    distributor: '%.*s'\n    release    : '%.*s'\n"
      "    codename   : '%.*s'\n    config-id  : [%.*s %.*s]\n}\n",
      static_cast<int>(distributor.size()), distributor.data(), static_cast<int>(release.size()),
      release.data(), static_cast<int>(codename.size()), codename.data(),
      static_cast<int>(distributor.size()), distributor.data(), static_cast<int>(codename.size()),
      codename.data());
  // The dump that follows goes to unbuffered standard error; flush so that in
  // a combined stream the distribution block still comes first.
  (void)std::fflush(stdout);

  if (qor::get_configuration() == nullptr) {
    std::printf("Config not found at %s\n", qor::ConfigUrl);
    return 1;
  }
  return 0;
}
