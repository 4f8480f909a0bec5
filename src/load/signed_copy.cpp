#include "load/signed_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "base/descriptor.h"
#include "load/loader.h"
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
  FileReplacement file;
  FileHasher digest;
  std::string whole;

  bool take(bool prehashed, std::string_view piece, GError **error) {
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

// An exclusive lock on a folder, held while the object lives. The folder is
// locked rather than a file in it, so that nothing is left beside the copy.
// Where the file system cannot lock (some network file systems), the pair is
// put in place unlocked, as before there was a lock.
class FolderLock {
 public:
  explicit FolderLock(const std::string &file) : folder_(open_folder_of(file)) {
    while (folder_.get() != -1 && flock(folder_.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
  }

 private:
  static int open_folder_of(const std::string &file) {
    g_autofree char *folder = g_path_get_dirname(file.c_str());
    return open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }

  const Descriptor folder_;  // closing it releases the lock
};

void warn_unusable(const std::string &path, const GError *problem) {
  if (problem != nullptr) {
    g_autofree char *reason = g_strescape(problem->message, nullptr);
    g_warning("The kept signature %s cannot be used, so an older file is not refused: %s",
              signature_path(path).c_str(), reason);
  }
}

// The copy at path, once it verifies with signature.
std::optional<std::string> read_copy(const std::string &path, const Signature &signature,
                                     const std::vector<PublicKey> &keys, GError **error) {
  std::optional<std::string> text = read_whole_file(path, error);
  if (!text || !verify_signature(signature, *text, keys, {}, error)) {
    return std::nullopt;
  }
  return text;
}

// The kept copy, where the signature fetched is byte for byte the one kept
// and the pair still verifies: the file is then what the server holds, and
// need not be fetched again. Under the lock, as another load may be putting
// a pair in place meanwhile; a kept pair of no use just means a full fetch.
std::optional<std::string> read_unchanged(const std::string &path, const std::string &text,
                                          const Signature &signature,
                                          const std::vector<PublicKey> &keys) {
  const FolderLock lock(path);
  if (read_signature_file(signature_path(path), nullptr) != text) {
    return std::nullopt;
  }
  return read_copy(path, signature, keys, nullptr);
}

// Puts the verified pair in place and reads it back, unless a load that ran
// meanwhile has kept a newer signature.
std::optional<std::string> put_in_place(const std::string &path, const std::string &signature,
                                        const Verified &verified, NewCopy &copy,
                                        const std::vector<PublicKey> &keys, GError **error) {
  const FolderLock lock(path);
  if (!refuse_older(verified.timestamp, read_kept_signature(path, keys).timestamp, error)) {
    return std::nullopt;
  }
  FileReplacement kept;
  if (!kept.open(signature_path(path).c_str(), error) ||
      !kept.write(signature.data(), signature.size(), error) || !kept.commit(error) ||
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
  if (std::optional<std::string> unchanged = read_unchanged(path, *text, *signature, keys)) {
    return unchanged;
  }
  NewCopy copy;
  if (!copy.file.open(path.c_str(), error)) {
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
  return put_in_place(path, *text, *verified, copy, keys, error);
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
