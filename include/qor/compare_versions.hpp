// Ordering version strings such as kernel releases.
#pragma once

#include <string_view>

#include <qor/export.h>

namespace qor {

// Orders two version strings component by component (components split at
// '.', ':' and '-'; numbers by value, other components byte-wise). Returns a
// negative number when a orders before b, zero when they are equal, a
// positive number after.
QOR_EXPORT int compare_versions(std::string_view a, std::string_view b);

}  // namespace qor
