#include "distro/distro_info.h"

#include "distro/probe.h"

namespace qor {

std::string_view field_text(const std::optional<std::string> &field) {
  return field ? std::string_view(*field) : kAbsentFieldText;
}

const DistroInfo *get_distro_information() {
  static DistroInfo info;
  if (!info.valid) {
    info = probe_distro(DistroSources{});
  }
  return &info;
}

}  // namespace qor
