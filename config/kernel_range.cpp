#include "config/kernel_range.h"

namespace qor {

// TODO: linear matcher.
std::optional<KernelRange> match_kernel_range(std::string_view) { return std::nullopt; }

}  // namespace qor
