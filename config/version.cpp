#include "config/configuration.h"

namespace qor {

// TODO: component-wise ordering.
int compare_versions(std::string_view a, std::string_view b) { return a.compare(b); }

}  // namespace qor
