// Reading a signature file from disk, the kept one or one given to the
// checker, without ever blocking on it or reading more than a signature holds.
#pragma once

#include <glib.h>

#include <optional>
#include <string>

namespace qor {

// The bytes of the signature file at path: at most kMaxSignatureSize and one
// more, so that a larger file is refused as such when parsed. Only a regular
// file is read: a symbolic link is not followed, and a FIFO or a device is
// refused without being waited on. nullopt with a GIO error naming path
// otherwise (G_IO_ERROR_NOT_FOUND where there is no file).
std::optional<std::string> read_signature_file(const std::string &path, GError **error);

}  // namespace qor
