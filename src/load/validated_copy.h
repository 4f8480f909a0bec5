// The local copy where the build has no keys: fetched with a GET conditional
// on the validators the server gave for it last time, which are kept beside
// it in a small file with the copy's digest, so that a copy changed or
// damaged here is never taken for the server's.
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <string_view>

#include "net/http_fetch.h"

namespace qor {

// Where the validators of the copy at path are kept: path + ".validator".
std::string validator_path(const std::string &path);

// What is kept beside a copy: the server's validators of it, and the
// BLAKE2b-512 digest, in hex, of the copy as it was stored.
struct KeptValidators {
  Validators validators;
  std::string digest;
};

// The text of the file beside the copy: a "digest HEX" line, then an
// "etag VALUE" and a "last-modified VALUE" line where there is a value.
std::string format_validators(const KeptValidators &kept);

// What such a text holds; nullopt where it has no digest, no validator, a
// line of another kind, or a control character, which no request may carry.
std::optional<KeptValidators> parse_validators(std::string_view text);

// Downloads url into path as download_file does, with a GET conditional on
// the validators kept beside path while the copy is byte for byte the one
// they were kept with. A 304 leaves the copy as it is. A new copy gets the
// validators of its response kept beside it once it is in place, or has
// those kept before removed where the response had none. Kept validators
// that are missing or of no use just mean an unconditional GET, and failing
// to keep them costs the next load a full GET, no more.
bool download_validated(const std::string &url, const std::string &path, FetchOptions options,
                        GCancellable *cancellable, GError **error);

}  // namespace qor
