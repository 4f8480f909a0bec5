// The local copy where the build trusts keys: a download is put in place
// only with a signature that verifies, kept beside it, and the copy is read
// only once the pair verifies again.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/glib_ptr.h"
#include "net/http_fetch.h"
#include "signature/signature.h"

namespace qor {

// The largest copy a load takes and reads back, whole, to parse: far above
// any real configuration file, and far below what would exhaust a desktop.
inline constexpr std::size_t kMaxCopySize = std::size_t{256} << 20;

// Where the signature of the local copy at path is kept: path + ".minisig".
std::string signature_path(const std::string &path);

// What the signature kept beside the copy at path says: the timestamp no new
// signature may be older than, and why a kept signature is of no use.
struct KeptSignature {
  // The kept trusted comment's timestamp, where it verifies with keys or was
  // made with a key the build no longer trusts (it was verified when it was
  // kept: a change of keys does not let older files back in).
  std::optional<std::uint64_t> timestamp;
  // Why a kept signature that is there is of no use (unreadable, not a
  // signature, or a trusted comment that does not verify), or nullptr;
  // nullptr as well where none is kept.
  GErrorPtr problem;
};
KeptSignature read_kept_signature(const std::string &path, const std::vector<PublicKey> &keys);

// Fetches url + ".minisig", then url, and puts both in place at path, the
// signature first, when the signature verifies with one of keys, is not
// older than the one kept beside path and has not expired at now (Unix
// seconds); a kept signature that is of no use is named in a warning. Where
// the signature is byte for byte the kept one and the kept pair verifies,
// the file is not fetched and the kept copy is returned. Putting the pair in place and reading it
// back happen under the copy's lock (lock_copy), where the kept timestamp is read again, so that of
// two loads at once the older pair never replaces the newer. A crash between the two renames leaves
// a pair that does not verify, which read_signed refuses. A file larger than kMaxCopySize is
// refused as it arrives. Returns the text of the copy as read back, or nullopt with error set and
// nothing changed: the download's error (G_IO_ERROR_CANCELLED among them), the GIO error of the
// local files or the lock, or one in the signature domain.
std::optional<std::string> download_signed(const std::string &url, const std::string &path,
                                           const std::vector<PublicKey> &keys,
                                           const FetchOptions &options, std::int64_t now,
                                           GCancellable *cancellable, GError **error);

// The text of the local copy at path, once it verifies with the signature
// kept beside it; nullopt with error set otherwise. The copy is read only as
// a regular file of at most kMaxCopySize bytes, never followed or waited on.
std::optional<std::string> read_signed(const std::string &path, const std::vector<PublicKey> &keys,
                                       GError **error);

}  // namespace qor
