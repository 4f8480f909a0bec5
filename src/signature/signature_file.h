// Reading a signature file from disk, the kept one or one given to the
// checker, without ever blocking on it or reading more than a signature holds.
#pragma once

#include <glib.h>

#include <optional>
#include <string>

#include "base/regular_file.h"
#include "signature/signature.h"

namespace qor {

// The bytes of the signature file at path, read as read_regular_file reads:
// at most kMaxSignatureSize and one more, so that a larger file is refused as
// such when parsed.
inline std::optional<std::string> read_signature_file(const std::string &path, GError **error) {
  return read_regular_file(path, kMaxSignatureSize, error);
}

}  // namespace qor
