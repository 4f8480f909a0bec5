#include "load/validated_copy.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/descriptor.h"
#include "base/regular_file.h"
#include "net/file_replacement.h"
#include "signature/signature.h"

namespace qor {

namespace {

constexpr std::string_view kDigest = "digest ";
constexpr std::string_view kEtag = "etag ";
constexpr std::string_view kLastModified = "last-modified ";
// Far more than a digest and two validators take.
constexpr std::size_t kMaxValidatorsSize = std::size_t{16} * 1024;

std::string hex(const FileDigest &digest) {
  constexpr std::string_view kHex = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xf];
  }
  return text;
}

bool printable(std::string_view value) {
  return std::none_of(value.begin(), value.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// Takes one line into kept; false for a line of no known kind.
bool take_line(std::string_view line, KeptValidators &kept) {
  for (const auto &[prefix, value] : {std::pair{kDigest, &kept.digest},
                                      {kEtag, &kept.validators.etag},
                                      {kLastModified, &kept.validators.last_modified}}) {
    if (line.starts_with(prefix)) {
      *value = line.substr(prefix.size());
      return true;
    }
  }
  return false;
}

// The digest of what fd, a regular file, reads to its end; nullopt where a
// read fails, which only costs the next GET its condition.
std::optional<std::string> digest_of(int fd) {
  FileHasher hasher;
  std::vector<char> chunk(std::size_t{64} * 1024);
  for (;;) {
    const ssize_t got = read(fd, chunk.data(), chunk.size());
    if (got <= 0) {
      return got == 0 ? std::optional(hex(hasher.finish())) : std::nullopt;
    }
    hasher.update(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
  }
}

// The digest of the regular file at path, and its length into length;
// nullopt where it cannot be read. A FIFO is not waited on, nor a link followed.
std::optional<std::string> digest_of_file(const std::string &path, gint64 &length) {
  const Descriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (file.get() == -1 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  length = status.st_size;
  return digest_of(file.get());
}

// The validators kept beside the copy at path, where the copy is still the
// one they were kept with; none otherwise, a file cut short among them.
Validators usable_validators(const std::string &path) {
  const std::optional<std::string> text =
      read_regular_file(validator_path(path), kMaxValidatorsSize, nullptr);
  std::optional<KeptValidators> kept =
      text && text->size() <= kMaxValidatorsSize ? parse_validators(*text) : std::nullopt;
  gint64 length = -1;
  if (!kept || digest_of_file(path, length) != kept->digest) {
    return {};
  }
  kept->validators.length = length;
  return std::move(kept->validators);
}

// Kept only once the copy is in place, so that a crash in between leaves the
// old validators, whose digest the new copy does not match. Validators that
// would not be taken back (no request may carry a control character, and a
// longer file would be read cut short) are not kept at all.
void keep_validators(const std::string &path, const KeptValidators &kept) {
  const std::string where = validator_path(path);
  const std::string text = format_validators(kept);
  if (text.size() > kMaxValidatorsSize || !parse_validators(text)) {
    g_unlink(where.c_str());
    return;
  }
  FileReplacement file(where);
  if (file.write(text.data(), text.size(), nullptr)) {
    file.commit(nullptr);
  }
}

}  // namespace

std::string validator_path(const std::string &path) { return path + ".validator"; }

std::string format_validators(const KeptValidators &kept) {
  std::string text = std::string(kDigest) + kept.digest + "\n";
  if (!kept.validators.etag.empty()) {
    text += std::string(kEtag) + kept.validators.etag + "\n";
  }
  if (!kept.validators.last_modified.empty()) {
    text += std::string(kLastModified) + kept.validators.last_modified + "\n";
  }
  return text;
}

std::optional<KeptValidators> parse_validators(std::string_view text) {
  KeptValidators kept;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    if (!printable(line) || !take_line(line, kept)) {
      return std::nullopt;
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  if (kept.digest.empty() || kept.validators.empty()) {
    return std::nullopt;
  }
  return kept;
}

bool download_validated(const std::string &url, const std::string &path, FetchOptions options,
                        GCancellable *cancellable, GError **error) {
  options.validators = usable_validators(path);
  FileReplacement file(path);
  FileHasher digest;
  const auto sink = [&file, &digest](std::string_view piece, GError **failure) {
    digest.update(piece);
    return file.write(piece.data(), piece.size(), failure);
  };
  FetchReport report;
  // Only a GET that may be answered 304 need not be able to store a body.
  if ((options.validators.empty() && !file.open(error)) ||
      !http_fetch(url.c_str(), sink, options, cancellable, error, &report)) {
    return false;
  }
  if (report.not_modified) {
    return true;
  }
  if (!file.commit(error)) {
    return false;
  }
  keep_validators(path, {std::move(report.validators), hex(digest.finish())});
  return true;
}

}  // namespace qor
