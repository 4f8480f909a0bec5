// The error domain of a load that refused the configuration file's
// signature, in a build that trusts signing keys (QOR_CONFIG_KEYS).
#pragma once

#include <glib.h>

#include <qor/export.h>

namespace qor {

// The domain: g_quark_from_static_string("qor-signature-error").
QOR_EXPORT GQuark signature_error_quark();

// Why a signed file is refused: one code each.
enum SignatureFailure : int {
  kSignatureMissing = 1,  // the signature could not be fetched
  kSignatureUnknownKey,   // made with a key this build does not trust
  kSignatureBadFile,      // the file is not the one that was signed
  kSignatureBadComment,   // the trusted comment is not the one that was signed
  kSignatureMalformed,    // not a signature file
  kSignatureRollback,     // older than the signature kept from the last download
  kSignatureWrongFile,    // the trusted comment's file: names another file
  kSignatureNoTimestamp,  // the trusted comment has no timestamp:N
  kSignatureExpired,      // past the trusted comment's expires:N
};

}  // namespace qor
