// Signature files as a server may send them: parsed, then checked against a
// fixed key and file, as a client checks a download. The seeds in
// corpus/signature are minisign's signatures of that file with that key.
#include <cstdint>
#include <string_view>

#include "signature/signature.h"

namespace {

constexpr std::string_view kKey = "RWSqPMFnapdH3COB6nVHu+byB2ZlFk8OKW0i2tOetwEGvxSZK9eGuel8";
constexpr std::string_view kFile = "[Debian bookworm]\ni qor\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const std::vector<qor::PublicKey> keys = qor::parse_public_keys(kKey).value();
  static const qor::FileDigest digest = qor::hash_file(kFile);
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  (void)qor::parse_public_keys(text);
  g_autoptr(GError) error = nullptr;
  const std::optional<qor::Signature> signature = qor::parse_signature(text, &error);
  if (signature) {
    (void)qor::read_trusted_comment(signature->trusted_comment);
    (void)qor::verify_trusted_comment(*signature, keys, {}, nullptr);
    (void)qor::verify_signature(*signature, kFile, keys, {1796616674, 1796616674}, nullptr);
    (void)qor::verify_signature(*signature, digest, keys, {}, nullptr);
  }
  return 0;
}
