#include "load/signed_copy.h"

#include <string_view>

#include "base/regular_file.h"
#include "load/copy_lock.h"
#include "net/file_replacement.h"
#include "net/http_fetch.h"
#include "net/http_session.h"
#include "signature/signature_file.h"

namespace qor {

namespace {

bool take_signature_piece(std::string &text, std::string_view piece, GError **error) {
  if (text.size() + piece.size() > kMaxSignatureSize) {
    g_set_error_literal(error, signature_error_quark(), kSignatureMalformed,
                        "malformed signature: more than 16 KiB");
    return false;
  }
  text.append(piece);
  return true;
}

std::optional<std::string> fetch_signature(const HttpSession &session, const std::string &url,
                                           const FetchOptions &options, GCancellable *cancellable,
                                           GError **error) {
  const std::string where = url + ".minisig";
  std::string text;
  g_autoptr(GError) cause = nullptr;
  const auto sink = [&text](std::string_view piece, GError **failure) {
    return take_signature_piece(text, piece, failure);
  };
  if (http_fetch(session, where.c_str(), sink, options.validators, cancellable, &cause)) {
    return text;
  }
  if (cause->domain == signature_error_quark() ||
      g_error_matches(cause, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_propagate_error(error, g_steal_pointer(&cause));
  } else {
    g_set_error(error, signature_error_quark(), kSignatureMissing,
                "signature missing: %s could not be had: %s", where.c_str(), cause->message);
  }
  return std::nullopt;
}

// The new file as it arrives: to its replacement, and to what its signature's
// mode checks, the digest or the whole text.
struct NewCopy {
  explicit NewCopy(const std::string &path) : file(path) {}

  FileReplacement file;
  FileHasher digest;
  std::string whole;
  std::size_t size = 0;

  bool take(bool prehashed, std::string_view piece, GError **error) {
    size += piece.size();
    if (size > kMaxCopySize) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_MESSAGE_TOO_LARGE,
                  "The file is larger than %zu MiB, more than a load reads back",
                  kMaxCopySize >> 20);
      return false;
    }
    if (prehashed) {
      digest.update(piece);
    } else if (legacy_file_fits(whole.size() + piece.size(), error)) {
      whole.append(piece);
    } else {
      return false;
    }
    return file.write(piece.data(), piece.size(), error);
  }
};

void warn_unusable(const std::string &path, const GError *problem) {
  if (problem != nullptr) {
    g_autofree char *reason = g_strescape(problem->message, nullptr);
    g_warning("The kept signature %s cannot be used, so an older file is not refused: %s",
              signature_path(path).c_str(), reason);
  }
}

// The copy at path, once it verifies with signature: read as the kept
// signature is, a regular file only, up to kMaxCopySize, and hashed as it is
// read where the signature is prehashed.
std::optional<std::string> read_copy(const std::string &path, const Signature &signature,
                                     const std::vector<PublicKey> &keys, GError **error) {
  FileHasher digest;
  const auto hash = [&digest](std::string_view piece) { digest.update(piece); };
  std::optional<std::string> text = signature.prehashed
                                        ? read_regular_file(path, kMaxCopySize, error, hash)
                                        : read_regular_file(path, kMaxCopySize, error);
  if (!text) {
    return std::nullopt;
  }
  if (text->size() > kMaxCopySize) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_MESSAGE_TOO_LARGE,
                "Cannot read %s: larger than %zu MiB", path.c_str(), kMaxCopySize >> 20);
    return std::nullopt;
  }
  const std::optional<Verified> verified =
      signature.prehashed ? verify_signature(signature, digest.finish(), keys, {}, error)
                          : verify_signature(signature, *text, keys, {}, error);
  if (!verified) {
    return std::nullopt;
  }
  return text;
}

// The kept copy into unchanged, where the signature fetched is byte for byte
// the one kept and the pair still verifies: the file is then what the server
// holds, and need not be fetched again. A look without the lock tells most
// loads, the first among them, that the file must be fetched; only a match is
// read again under the lock, as another load may be putting a pair in place
// meanwhile. A kept pair of no use just means a full fetch; false, with error
// set, where the lock could not be had.
bool read_unchanged(const std::string &path, const std::string &text, const Signature &signature,
                    const std::vector<PublicKey> &keys, GCancellable *cancellable,
                    std::optional<std::string> &unchanged, GError **error) {
  if (read_signature_file(signature_path(path), nullptr) != text) {
    return true;
  }
  const std::optional<Descriptor> lock = lock_copy(path, kLockWait, cancellable, error);
  if (!lock) {
    return false;
  }
  if (read_signature_file(signature_path(path), nullptr) == text) {
    unchanged = read_copy(path, signature, keys, nullptr);
  }
  return true;
}

// Puts the verified pair in place and reads it back, unless a load that ran
// meanwhile has kept a newer signature.
std::optional<std::string> put_in_place(const std::string &path, const std::string &signature,
                                        const Verified &verified, NewCopy &copy,
                                        const std::vector<PublicKey> &keys,
                                        GCancellable *cancellable, GError **error) {
  const std::optional<Descriptor> lock = lock_copy(path, kLockWait, cancellable, error);
  if (!lock ||
      !refuse_older(verified.timestamp, read_kept_signature(path, keys).timestamp, error)) {
    return std::nullopt;
  }
  FileReplacement kept(signature_path(path));
  if (!kept.write(signature.data(), signature.size(), error) || !kept.commit(error) ||
      !copy.file.commit(error)) {
    return std::nullopt;
  }
  return read_signed(path, keys, error);
}

}  // namespace

std::string signature_path(const std::string &path) { return path + ".minisig"; }

KeptSignature read_kept_signature(const std::string &path, const std::vector<PublicKey> &keys) {
  KeptSignature kept;
  GError *problem = nullptr;
  const std::optional<std::string> text = read_signature_file(signature_path(path), &problem);
  if (!text) {
    if (g_error_matches(problem, G_IO_ERROR, G_IO_ERROR_NOT_FOUND)) {
      g_clear_error(&problem);  // none kept yet
    }
    kept.problem.reset(problem);
    return kept;
  }
  const std::optional<Signature> signature = parse_signature(*text, &problem);
  if (!signature) {
    kept.problem.reset(problem);
    return kept;
  }
  if (const std::optional<Verified> vouched =
          verify_trusted_comment(*signature, keys, {}, &problem)) {
    kept.timestamp = vouched->timestamp;
  } else if (g_error_matches(problem, signature_error_quark(), kSignatureUnknownKey)) {
    g_clear_error(&problem);
    kept.timestamp = read_trusted_comment(signature->trusted_comment).timestamp;
  } else {
    kept.problem.reset(problem);
  }
  return kept;
}

std::optional<std::string> download_signed(const std::string &url, const std::string &path,
                                           const std::vector<PublicKey> &keys,
                                           const FetchOptions &options, std::int64_t now,
                                           GCancellable *cancellable, GError **error) {
  // One session for the signature and the file: one connection and one
  // handshake where the server keeps the connection open.
  const HttpSession session(options.tls_database);
  const std::optional<std::string> text =
      fetch_signature(session, url, options, cancellable, error);
  const std::optional<Signature> signature = text ? parse_signature(*text, error) : std::nullopt;
  if (!signature) {
    return std::nullopt;
  }
  const KeptSignature kept = read_kept_signature(path, keys);
  warn_unusable(path, kept.problem.get());
  const Freshness fresh{kept.timestamp, now};
  // What can be refused without the file is refused before it is fetched,
  // an unchanged pair that has expired among it.
  if (!verify_trusted_comment(*signature, keys, fresh, error)) {
    return std::nullopt;
  }
  std::optional<std::string> unchanged;
  if (!read_unchanged(path, *text, *signature, keys, cancellable, unchanged, error) || unchanged) {
    return unchanged;
  }
  NewCopy copy(path);
  if (!copy.file.open(error)) {
    return std::nullopt;
  }
  const bool prehashed = signature->prehashed;
  const auto sink = [&copy, prehashed](std::string_view piece, GError **failure) {
    return copy.take(prehashed, piece, failure);
  };
  if (!http_fetch(session, url.c_str(), sink, options.validators, cancellable, error)) {
    return std::nullopt;
  }
  const std::optional<Verified> verified =
      prehashed ? verify_signature(*signature, copy.digest.finish(), keys, fresh, error)
                : verify_signature(*signature, copy.whole, keys, fresh, error);
  if (!verified) {
    return std::nullopt;
  }
  return put_in_place(path, *text, *verified, copy, keys, cancellable, error);
}

std::optional<std::string> read_signed(const std::string &path, const std::vector<PublicKey> &keys,
                                       GError **error) {
  const std::optional<std::string> signature_text =
      read_signature_file(signature_path(path), error);
  const std::optional<Signature> signature =
      signature_text ? parse_signature(*signature_text, error) : std::nullopt;
  if (!signature) {
    return std::nullopt;
  }
  return read_copy(path, *signature, keys, error);
}

}  // namespace qor
