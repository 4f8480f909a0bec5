#include "config/signed_copy.h"

#include <cstdint>
#include <string_view>

#include "config/loader.h"
#include "net/file_replacement.h"
#include "net/http_fetch.h"

namespace qor {

namespace {

// A signature is a few hundred bytes; more is not one.
constexpr std::size_t kMaxSignature = std::size_t{16} * 1024;
// A legacy signature is checked over the whole file, held in memory; the
// default, prehashed one over its digest, whatever the file's size.
constexpr std::size_t kMaxLegacyFile = std::size_t{16} << 20;

bool take_signature_piece(std::string &text, std::string_view piece, GError **error) {
  if (text.size() + piece.size() > kMaxSignature) {
    g_set_error_literal(error, signature_error_quark(), kSignatureMalformed,
                        "malformed signature: more than 16 KiB");
    return false;
  }
  text.append(piece);
  return true;
}

std::optional<std::string> fetch_signature(const std::string &url, GCancellable *cancellable,
                                           GError **error) {
  const std::string where = url + ".minisig";
  std::string text;
  g_autoptr(GError) cause = nullptr;
  const auto sink = [&text](std::string_view piece, GError **failure) {
    return take_signature_piece(text, piece, failure);
  };
  if (http_fetch(where.c_str(), sink, cancellable, &cause)) {
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

// The timestamp of the signature kept from the last download, where one is
// kept and its trusted comment verifies.
std::optional<std::uint64_t> kept_timestamp(const std::string &path,
                                            const std::vector<PublicKey> &keys) {
  const std::optional<std::string> text = read_whole_file(signature_path(path), nullptr);
  const std::optional<Signature> kept = text ? parse_signature(*text, nullptr) : std::nullopt;
  const std::optional<Verified> vouched =
      kept ? verify_trusted_comment(*kept, keys, std::nullopt, nullptr) : std::nullopt;
  return vouched ? std::optional(vouched->timestamp) : std::nullopt;
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
    } else if (whole.size() + piece.size() <= kMaxLegacyFile) {
      whole.append(piece);
    } else {
      g_set_error_literal(error, signature_error_quark(), kSignatureBadFile,
                          "bad signature of the file: a legacy signature is taken for files up "
                          "to 16 MiB; sign with minisign -S without -l");
      return false;
    }
    return file.write(piece.data(), piece.size(), error);
  }
};

bool put_in_place(const std::string &path, const std::string &signature, NewCopy &copy,
                  GError **error) {
  FileReplacement kept;
  return kept.open(signature_path(path).c_str(), error) &&
         kept.write(signature.data(), signature.size(), error) && kept.commit(error) &&
         copy.file.commit(error);
}

}  // namespace

std::string signature_path(const std::string &path) { return path + ".minisig"; }

bool download_signed(const std::string &url, const std::string &path,
                     const std::vector<PublicKey> &keys, GCancellable *cancellable,
                     GError **error) {
  const std::optional<std::string> text = fetch_signature(url, cancellable, error);
  const std::optional<Signature> signature = text ? parse_signature(*text, error) : std::nullopt;
  const std::optional<std::uint64_t> stamp = kept_timestamp(path, keys);
  // What can be refused without the file is refused before it is fetched.
  NewCopy copy;
  if (!signature || !verify_trusted_comment(*signature, keys, stamp, error) ||
      !copy.file.open(path.c_str(), error)) {
    return false;
  }
  const bool prehashed = signature->prehashed;
  const auto sink = [&copy, prehashed](std::string_view piece, GError **failure) {
    return copy.take(prehashed, piece, failure);
  };
  if (!http_fetch(url.c_str(), sink, cancellable, error)) {
    return false;
  }
  const std::optional<Verified> verified =
      prehashed ? verify_signature(*signature, copy.digest.finish(), keys, stamp, error)
                : verify_signature(*signature, copy.whole, keys, stamp, error);
  return verified && put_in_place(path, *text, copy, error);
}

std::optional<std::string> read_signed(const std::string &path, const std::vector<PublicKey> &keys,
                                       GError **error) {
  const std::optional<std::string> signature_text = read_whole_file(signature_path(path), error);
  const std::optional<Signature> signature =
      signature_text ? parse_signature(*signature_text, error) : std::nullopt;
  std::optional<std::string> text = signature ? read_whole_file(path, error) : std::nullopt;
  if (!text || !verify_signature(*signature, *text, keys, std::nullopt, error)) {
    return std::nullopt;
  }
  return text;
}

}  // namespace qor
