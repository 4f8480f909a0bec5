// Signatures of the configuration file in minisign's format, checked against
// the public keys a build trusts. Pure: bytes and keys come in as arguments;
// nothing here reads a file, the environment or the clock.
#pragma once

#include <glib.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qor/signature_error.hpp>

namespace qor {

// A signature file is a few hundred bytes; one larger than this is not one.
inline constexpr std::size_t kMaxSignatureSize = std::size_t{16} * 1024;
// A legacy signature is checked over the whole file, held in memory, so it is
// taken for files up to this size; the default, prehashed one over the file's
// digest, whatever its size.
inline constexpr std::size_t kMaxLegacyFileSize = std::size_t{16} << 20;

using KeyId = std::array<unsigned char, 8>;

struct PublicKey {
  KeyId id{};
  std::array<unsigned char, 32> key{};
};

// A public key line, the base64 line of a minisign.pub file ("RW..."): nullopt
// for anything else.
std::optional<PublicKey> parse_public_key(std::string_view line);

// The keys of a list separated by ";" (a CMake list; empty items are skipped),
// nullopt when any item is not a key.
std::optional<std::vector<PublicKey>> parse_public_keys(std::string_view list);

// The keys this build trusts, as -DQOR_CONFIG_KEYS gave them: empty for none.
std::string_view build_keys();

// A key id as 16 upper-case hex digits of the little-endian 64-bit number,
// leading zeros kept (minisign shows it without them).
std::string format_key_id(const KeyId &id);

using FileDigest = std::array<unsigned char, 64>;

// The BLAKE2b-512 digest of a file, fed a piece at a time as it is read.
class FileHasher {
 public:
  FileHasher();
  ~FileHasher();
  FileHasher(const FileHasher &) = delete;
  FileHasher &operator=(const FileHasher &) = delete;

  void update(std::string_view bytes);
  // The digest of all the bytes given; the hasher is spent.
  FileDigest finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

FileDigest hash_file(std::string_view contents);

// A parsed signature file; nothing in it is checked yet.
struct Signature {
  // "ED" signs the file's BLAKE2b-512 digest, minisign's default; the
  // legacy "Ed" signs the whole file.
  bool prehashed = true;
  KeyId key_id{};
  std::array<unsigned char, 64> file_signature{};
  std::string trusted_comment;                        // without "trusted comment: "
  std::array<unsigned char, 64> comment_signature{};  // over file_signature + trusted_comment
};

// Parses a signature file: an untrusted comment line, the base64 signature,
// a trusted comment line, the base64 signature of that comment; lines may end
// with CR LF and the last needs no line end. Anything else, or more than
// 16 KiB, fails with kSignatureMalformed.
std::optional<Signature> parse_signature(std::string_view text, GError **error);

// An expires:N field: N, the time (Unix seconds) after which the publisher
// no longer vouches for the file.
struct Expiry {
  std::string value;                     // as signed, for messages
  std::optional<std::uint64_t> seconds;  // where value is a number
  // 0 where value is not a number, so that a publisher's typo fails closed.
  std::uint64_t time() const { return seconds.value_or(0); }
};

// What a trusted comment says, in fields separated by tabs or spaces, as
// minisign writes "timestamp:N\tfile:NAME\thashed": the first timestamp:N
// with N a number, the first file:NAME that names another file than
// qor-config.cfg, and the first expires:, whatever its value.
struct CommentFields {
  std::optional<std::uint64_t> timestamp;
  std::optional<std::string> other_file;
  std::optional<Expiry> expires;
};
CommentFields read_trusted_comment(std::string_view comment);

// What a signature that verifies vouches for.
struct Verified {
  KeyId key_id{};
  std::string trusted_comment;
  std::uint64_t timestamp = 0;
  std::optional<Expiry> expires;
};

// What a signature must be fresh against, beyond its keys: kept_timestamp,
// that of the signature kept from the last accepted download, which it may
// equal but not be older than; and now (Unix seconds), which must not lie
// after its expires:N. Either absent: not checked.
struct Freshness {
  std::optional<std::uint64_t> kept_timestamp;
  std::optional<std::int64_t> now;
};

// Checks a signature of a file against keys and fresh. The failures are
// tried in this order: unknown key, bad trusted comment, bad file, no
// timestamp, wrong file name, rollback, expired. The first form takes the
// whole file; the second only its digest, which a legacy signature cannot be
// checked against (kSignatureBadFile). A legacy signature of a file larger
// than kMaxLegacyFileSize is refused (kSignatureBadFile), as a download
// refuses it while the file arrives.
std::optional<Verified> verify_signature(const Signature &signature, std::string_view file,
                                         const std::vector<PublicKey> &keys, const Freshness &fresh,
                                         GError **error);
std::optional<Verified> verify_signature(const Signature &signature, const FileDigest &digest,
                                         const std::vector<PublicKey> &keys, const Freshness &fresh,
                                         GError **error);

// Whether a file of size bytes, or a larger one, may still be checked with a
// legacy signature; false with kSignatureBadFile set when it may not.
bool legacy_file_fits(std::size_t size, GError **error);

// Refuses (kSignatureRollback) a signature whose timestamp is older than
// kept_timestamp; true when there is no kept timestamp or it is not newer.
bool refuse_older(std::uint64_t timestamp, std::optional<std::uint64_t> kept_timestamp,
                  GError **error);

// Checks a signature's trusted comment alone, without the file it signs:
// unknown key, bad trusted comment, no timestamp, wrong file name, rollback
// and expired. For refusing what can be refused before the file is fetched,
// and for reading the timestamp of the kept signature.
std::optional<Verified> verify_trusted_comment(const Signature &signature,
                                               const std::vector<PublicKey> &keys,
                                               const Freshness &fresh, GError **error);

}  // namespace qor
