// The local copy where the build trusts keys: a download is put in place
// only with a signature that verifies, kept beside it, and the copy is read
// only once the pair verifies again.
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <vector>

#include "config/signature.h"

namespace qor {

// Where the signature of the local copy at path is kept: path + ".minisig".
std::string signature_path(const std::string &path);

// Fetches url + ".minisig", then url, and puts both in place at path, the
// signature first, when the signature verifies with one of keys and is not
// older than the one kept beside path. A crash between the two leaves a
// pair that does not verify, which read_signed refuses. On false nothing has
// changed and error says why: the download's error (G_IO_ERROR_CANCELLED
// among them), or one in the signature domain.
bool download_signed(const std::string &url, const std::string &path,
                     const std::vector<PublicKey> &keys, GCancellable *cancellable, GError **error);

// The text of the local copy at path, once it verifies with the signature
// kept beside it; nullopt with error set otherwise.
std::optional<std::string> read_signed(const std::string &path, const std::vector<PublicKey> &keys,
                                       GError **error);

}  // namespace qor
