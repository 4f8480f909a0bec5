#include <qor/distro_info.hpp>

#include <atomic>
#include <mutex>

#include "distro/probe.h"

namespace qor {

std::string_view field_text(const std::optional<std::string> &field) {
  return field ? std::string_view(*field) : kAbsentFieldText;
}

std::string config_id(const DistroInfo &info) {
  std::string id = "[";
  id += field_text(info.distributor);
  id += ' ';
  id += field_text(info.codename);
  id += ']';
  return id;
}

// The records are made with new and never deleted: callers may hold them
// until the very end of the process, static destructors included.
const DistroInfo *get_distro_information() {
  static std::atomic<const DistroInfo *> probed{nullptr};
  static std::mutex probing;
  if (const DistroInfo *info = probed.load(std::memory_order_acquire)) {
    return info;
  }
  const std::lock_guard lock(probing);
  if (const DistroInfo *info = probed.load(std::memory_order_acquire)) {
    return info;
  }
  DistroInfo info = probe_distro(system_distro_sources());
  if (!info.valid) {
    static const DistroInfo *const unset = new DistroInfo();
    return unset;
  }
  const DistroInfo *record = new DistroInfo(std::move(info));
  probed.store(record, std::memory_order_release);
  return record;
}

}  // namespace qor
