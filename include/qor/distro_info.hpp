// The running Linux distribution, as its lsb_release tool (or, where that
// cannot start, /etc/fedora-release) describes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <qor/export.h>

namespace qor {

// An absent field is std::nullopt; an empty one is an empty string.
struct DistroInfo {
  std::optional<std::string> distributor;
  std::optional<std::string> description;
  std::optional<std::string> release;
  std::optional<std::string> codename;
  // Set once a probe has completed.
  bool valid = false;
};

// The text that stands for an absent field wherever a field is printed or
// put into a section key. Printing and searching use the same text, so the
// config-id shown is the one searched for.
inline constexpr std::string_view kAbsentFieldText = "(null)";

// The field's text, or kAbsentFieldText when it is absent. The view borrows
// from field (or the constant) and is valid as long as field is unchanged.
QOR_EXPORT std::string_view field_text(const std::optional<std::string> &field);

// The config-id, the header of this distribution's section in the
// configuration file: "[distributor codename]".
QOR_EXPORT std::string config_id(const DistroInfo &info);

// Returns the process-wide record, probing on the first call. Never null.
// Once a probe has completed, every call returns the same record, which the
// library owns and never changes or frees. While no probe can complete
// (neither the tool nor the release file can be had), every call probes
// again and returns a record that stays unset, all fields absent.
// Safe to call from any thread; only one probe runs at a time.
QOR_EXPORT const DistroInfo *get_distro_information();

}  // namespace qor
