#include "signature/signature.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <tuple>

namespace qor {

struct FileHasher::State {
  crypto_generichash_state state;
};

namespace {

constexpr std::string_view kSignedFileName = "qor-config.cfg";
constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";

void ensure_sodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) {
    g_error("libsodium could not be initialised");
  }
}

std::nullopt_t fail(GError **error, SignatureFailure code, const std::string &message) {
  g_set_error_literal(error, signature_error_quark(), code, message.c_str());
  return std::nullopt;
}

std::nullopt_t malformed(GError **error, std::string_view what) {
  return fail(error, kSignatureMalformed, "malformed signature file: " + std::string(what));
}

std::string_view as_text(const unsigned char *bytes, std::size_t size) {
  return {reinterpret_cast<const char *>(bytes), size};
}

// Canonical base64 of exactly out.size() bytes, and nothing else.
template <std::size_t N>
bool decode_base64(std::string_view text, std::array<unsigned char, N> &out) {
  std::size_t length = 0;
  return sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length,
                           nullptr, sodium_base64_VARIANT_ORIGINAL) == 0 &&
         length == out.size();
}

bool verifies(const std::array<unsigned char, 64> &signature, std::string_view message,
              const std::array<unsigned char, 32> &key) {
  ensure_sodium();
  return crypto_sign_verify_detached(signature.data(),
                                     reinterpret_cast<const unsigned char *>(message.data()),
                                     message.size(), key.data()) == 0;
}

// Exactly four lines, each without its line end; the last needs none.
bool split_lines(std::string_view text, std::array<std::string_view, 4> &lines) {
  if (text.ends_with('\n')) {
    text.remove_suffix(1);
  }
  if (std::count(text.begin(), text.end(), '\n') != 3) {
    return false;
  }
  for (std::string_view &line : lines) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
  }
  return true;
}

std::optional<Signature> parse_lines(const std::array<std::string_view, 4> &lines, GError **error) {
  std::array<unsigned char, 74> packed{};
  if (!lines[0].starts_with(kUntrustedPrefix)) {
    return malformed(error, "the first line is not an untrusted comment");
  }
  if (!decode_base64(lines[1], packed)) {
    return malformed(error, "the second line is not a signature in base64");
  }
  const std::string_view algorithm = as_text(packed.data(), 2);
  if (algorithm != "ED" && algorithm != "Ed") {
    return malformed(error, "the signature is of an unknown kind");
  }
  if (!lines[2].starts_with(kTrustedPrefix)) {
    return malformed(error, "the third line is not a trusted comment");
  }
  Signature signature;
  if (!decode_base64(lines[3], signature.comment_signature)) {
    return malformed(error,
                     "the fourth line is not the trusted comment's "
                     "signature in base64");
  }
  signature.prehashed = algorithm == "ED";
  std::copy_n(packed.begin() + 2, signature.key_id.size(), signature.key_id.begin());
  std::copy_n(packed.begin() + 10, signature.file_signature.size(),
              signature.file_signature.begin());
  signature.trusted_comment = lines[2].substr(kTrustedPrefix.size());
  return signature;
}

std::optional<std::uint64_t> parse_timestamp(std::string_view digits) {
  std::uint64_t value = 0;
  const char *end = digits.data() + digits.size();
  const auto [stop, problem] = std::from_chars(digits.data(), end, value);
  if (stop != end || problem != std::errc()) {
    return std::nullopt;
  }
  return value;
}

void take_field(std::string_view field, CommentFields &fields) {
  constexpr std::string_view kTimestamp = "timestamp:";
  constexpr std::string_view kFile = "file:";
  constexpr std::string_view kExpires = "expires:";
  if (field.starts_with(kTimestamp) && !fields.timestamp) {
    fields.timestamp = parse_timestamp(field.substr(kTimestamp.size()));
  } else if (field.starts_with(kExpires) && !fields.expires) {
    const std::string_view value = field.substr(kExpires.size());
    fields.expires = Expiry{std::string(value), parse_timestamp(value)};
  } else if (field.starts_with(kFile) && field.substr(kFile.size()) != kSignedFileName &&
             !fields.other_file) {
    fields.other_file = field.substr(kFile.size());
  }
}

const PublicKey *find_key(const KeyId &id, const std::vector<PublicKey> &keys) {
  const auto key =
      std::find_if(keys.begin(), keys.end(), [&](const PublicKey &k) { return k.id == id; });
  return key == keys.end() ? nullptr : &*key;
}

// The key that made the signature, once its trusted comment verifies with it.
const PublicKey *comment_key(const Signature &signature, const std::vector<PublicKey> &keys,
                             GError **error) {
  const PublicKey *key = find_key(signature.key_id, keys);
  if (key == nullptr) {
    fail(error, kSignatureUnknownKey,
         "unknown key: signed with key id " + format_key_id(signature.key_id) +
             ", which is not among the trusted keys");
    return nullptr;
  }
  const std::string comment_message =
      std::string(as_text(signature.file_signature.data(), signature.file_signature.size())) +
      signature.trusted_comment;
  if (!verifies(signature.comment_signature, comment_message, key->key)) {
    fail(error, kSignatureBadComment,
         "bad signature of the trusted comment: it is not the comment that was signed");
    return nullptr;
  }
  return key;
}

// What a verified trusted comment must say for the file to be taken.
std::optional<Verified> vouch(const Signature &signature, GError **error) {
  const CommentFields fields = read_trusted_comment(signature.trusted_comment);
  if (!fields.timestamp) {
    return fail(error, kSignatureNoTimestamp,
                "no timestamp in the trusted comment: sign with minisign -S, which puts "
                "timestamp:N in the trusted comment, or give -t 'timestamp:N'");
  }
  if (fields.other_file) {
    return fail(error, kSignatureWrongFile,
                "wrong file name: the trusted comment names file:" + *fields.other_file + ", not " +
                    std::string(kSignedFileName));
  }
  return Verified{signature.key_id, signature.trusted_comment, *fields.timestamp, fields.expires};
}

// The size of a digest, which a legacy signature never covers.
constexpr std::size_t kLegacyReplaySize = std::tuple_size_v<FileDigest>;

// What the caller has of the signed file: the whole of it, or its digest.
struct SignedBytes {
  std::optional<std::string_view> file;
  std::optional<FileDigest> digest;
};

// Whether the signature covers what the caller has of the file; false with
// kSignatureBadFile set where it does not.
bool file_verifies(const Signature &signature, const PublicKey &key, const SignedBytes &bytes,
                   GError **error) {
  if (signature.prehashed) {
    const FileDigest digest = bytes.digest ? *bytes.digest : hash_file(*bytes.file);
    if (verifies(signature.file_signature, as_text(digest.data(), digest.size()), key.key)) {
      return true;
    }
  } else if (!bytes.file) {
    fail(error, kSignatureBadFile,
         "bad signature of the file: a legacy signature needs the whole file");
    return false;
  } else if (!legacy_file_fits(bytes.file->size(), error)) {
    return false;
  } else if (bytes.file->size() != kLegacyReplaySize &&
             verifies(signature.file_signature, *bytes.file, key.key)) {
    // The mode is not under the signatures: a prehashed signature relabelled
    // as a legacy one verifies over the 64 bytes of the digest served as a
    // file, which is why no legacy signature of 64 bytes is taken.
    return true;
  }
  fail(error, kSignatureBadFile, "bad signature of the file: it is not the file that was signed");
  return false;
}

// A mirror frozen on an old pair serves it for as long as it likes; its
// publisher's expires: says until when the pair may be taken.
bool refuse_expired(const std::optional<Expiry> &expires, std::optional<std::int64_t> now,
                    GError **error) {
  if (!expires || !now || *now < 0 || static_cast<std::uint64_t>(*now) <= expires->time()) {
    return true;
  }
  std::string message = "expired signature: its trusted comment says expires:" + expires->value;
  if (expires->seconds) {
    message += ", and this machine's clock says " + std::to_string(*now) +
               "; the server may be serving a file its publisher has since replaced";
  } else {
    message += ", which is not a time in seconds, so it counts as passed";
  }
  fail(error, kSignatureExpired, message);
  return false;
}

// verified, unless it is older than the signature kept from the last
// download or has expired.
std::optional<Verified> fresh_only(std::optional<Verified> verified, const Freshness &fresh,
                                   GError **error) {
  if (!verified) {
    return std::nullopt;
  }
  if (!refuse_older(verified->timestamp, fresh.kept_timestamp, error) ||
      !refuse_expired(verified->expires, fresh.now, error)) {
    return std::nullopt;
  }
  return verified;
}

std::optional<Verified> verify(const Signature &signature, const SignedBytes &bytes,
                               const std::vector<PublicKey> &keys, const Freshness &fresh,
                               GError **error) {
  const PublicKey *key = comment_key(signature, keys, error);
  if (key == nullptr) {
    return std::nullopt;
  }
  if (!file_verifies(signature, *key, bytes, error)) {
    return std::nullopt;
  }
  return fresh_only(vouch(signature, error), fresh, error);
}

bool append_key(std::string_view line, std::vector<PublicKey> &keys) {
  const std::optional<PublicKey> key = parse_public_key(line);
  if (key) {
    keys.push_back(*key);
  }
  return key.has_value();
}

}  // namespace

bool legacy_file_fits(std::size_t size, GError **error) {
  if (size <= kMaxLegacyFileSize) {
    return true;
  }
  g_set_error_literal(error, signature_error_quark(), kSignatureBadFile,
                      "bad signature of the file: a legacy signature is taken for files up to "
                      "16 MiB; sign with minisign -S without -l");
  return false;
}

bool refuse_older(std::uint64_t timestamp, std::optional<std::uint64_t> kept_timestamp,
                  GError **error) {
  if (kept_timestamp && timestamp < *kept_timestamp) {
    fail(error, kSignatureRollback,
         "older timestamp: " + std::to_string(timestamp) + " is before " +
             std::to_string(*kept_timestamp) +
             ", that of the file in use; an older file is never taken back");
    return false;
  }
  return true;
}

GQuark signature_error_quark() { return g_quark_from_static_string("qor-signature-error"); }

std::optional<PublicKey> parse_public_key(std::string_view line) {
  std::array<unsigned char, 42> packed{};
  if (!decode_base64(line, packed) || as_text(packed.data(), 2) != "Ed") {
    return std::nullopt;
  }
  PublicKey key;
  std::copy_n(packed.begin() + 2, key.id.size(), key.id.begin());
  std::copy_n(packed.begin() + 10, key.key.size(), key.key.begin());
  return key;
}

std::optional<std::vector<PublicKey>> parse_public_keys(std::string_view list) {
  std::vector<PublicKey> keys;
  g_auto(GStrv) items = g_strsplit(std::string(list).c_str(), ";", -1);
  for (char **item = items; *item != nullptr; ++item) {
    const std::string_view line = g_strstrip(*item);
    if (!line.empty() && !append_key(line, keys)) {
      return std::nullopt;
    }
  }
  return keys;
}

// No default: a build that lost the definition must not quietly trust nothing.
std::string_view build_keys() { return QOR_CONFIG_KEYS; }

std::string format_key_id(const KeyId &id) {
  guint64 number = 0;
  for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
    number = (number << 8) | *byte;
  }
  g_autofree char *text = g_strdup_printf("%016" G_GINT64_MODIFIER "X", number);
  return text;
}

FileHasher::FileHasher() : state_(std::make_unique<State>()) {
  ensure_sodium();
  crypto_generichash_init(&state_->state, nullptr, 0, std::tuple_size_v<FileDigest>);
}

FileHasher::~FileHasher() = default;

void FileHasher::update(std::string_view bytes) {
  crypto_generichash_update(&state_->state, reinterpret_cast<const unsigned char *>(bytes.data()),
                            bytes.size());
}

FileDigest FileHasher::finish() {
  FileDigest digest{};
  crypto_generichash_final(&state_->state, digest.data(), digest.size());
  return digest;
}

FileDigest hash_file(std::string_view contents) {
  FileHasher hasher;
  hasher.update(contents);
  return hasher.finish();
}

std::optional<Signature> parse_signature(std::string_view text, GError **error) {
  if (text.size() > kMaxSignatureSize) {
    return malformed(error, "larger than 16 KiB");
  }
  std::array<std::string_view, 4> lines;
  if (text.find('\0') != std::string_view::npos || !split_lines(text, lines)) {
    return malformed(error, "not four lines of text");
  }
  return parse_lines(lines, error);
}

CommentFields read_trusted_comment(std::string_view comment) {
  CommentFields fields;
  while (!comment.empty()) {
    const std::size_t end = std::min(comment.find_first_of(" \t"), comment.size());
    take_field(comment.substr(0, end), fields);
    comment.remove_prefix(std::min(end + 1, comment.size()));
  }
  return fields;
}

std::optional<Verified> verify_signature(const Signature &signature, std::string_view file,
                                         const std::vector<PublicKey> &keys, const Freshness &fresh,
                                         GError **error) {
  return verify(signature, {file, std::nullopt}, keys, fresh, error);
}

std::optional<Verified> verify_signature(const Signature &signature, const FileDigest &digest,
                                         const std::vector<PublicKey> &keys, const Freshness &fresh,
                                         GError **error) {
  return verify(signature, {std::nullopt, digest}, keys, fresh, error);
}

std::optional<Verified> verify_trusted_comment(const Signature &signature,
                                               const std::vector<PublicKey> &keys,
                                               const Freshness &fresh, GError **error) {
  if (comment_key(signature, keys, error) == nullptr) {
    return std::nullopt;
  }
  return fresh_only(vouch(signature, error), fresh, error);
}

}  // namespace qor
