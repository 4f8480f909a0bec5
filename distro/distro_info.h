// The running Linux distribution, as its lsb_release tool (or, where that
// cannot start, /etc/fedora-release) describes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qor {

// An absent field is std::nullopt; an empty one is an empty string.
struct DistroInfo {
  std::optional<std::string> distributor;
  std::optional<std::string> description;
  std::optional<std::string> release;
  std::optional<std::string> codename;
  // Set once a probe has completed; the record then never changes again.
  bool valid = false;
};

// The text that stands for an absent field wherever a field is printed or
// put into a section key. Printing and searching use the same text, so the
// config-id the driver shows is the one the loader looks for.
inline constexpr std::string_view kAbsentFieldText = "(null)";

// The field's text, or kAbsentFieldText when it is absent. The view borrows
// from field (or the constant) and is valid as long as field is unchanged.
std::string_view field_text(const std::optional<std::string> &field);

// Returns the process-wide record, probing on the first call. Never null; the
// record is owned by the library and lives until the process ends. While no
// probe has completed (neither the tool nor the release file could be had),
// every call probes again.
const DistroInfo *get_distro_information();

}  // namespace qor
