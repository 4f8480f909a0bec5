// Fixtures of the cases that run the whole road against an HTTPS server on
// loopback, where support/outside.cpp points the library and the program.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "load/signed_copy.h"
#include "support/http_test_server.h"
#include "test_util.h"

namespace qor::test {

inline const std::string kPath = "/gfx/qor-config.cfg";

class EndToEndTest : public ::testing::Test {
 protected:
  // Where the load fetches from, for this process and the programs it runs.
  void SetUp() override {
    g_setenv("QOR_TEST_CONFIG_URL", server_.url(kPath).c_str(), TRUE);
    g_setenv("QOR_TEST_CA_FILE", authority_file().c_str(), TRUE);
  }
  // The environment of qor-config-test as a user runs it, and more.
  std::vector<std::string> environment(std::vector<std::string> more = {}) const {
    more.insert(more.begin(), {"PATH=" + bin_.path, "HOME=" + home_.path,
                               "QOR_TEST_CONFIG_URL=" + server_.url(kPath),
                               "QOR_TEST_CA_FILE=" + authority_file()});
    if (const char *asan = g_getenv("ASAN_OPTIONS")) {  // leaks are valgrind's to find
      more.push_back(std::string("ASAN_OPTIONS=") + asan +
                     ":detect_leaks=0:verify_asan_link_order=0");
    }
    return more;
  }

  TempDir bin_;
  TempDir home_;
  std::string local_ = home_.file(".qor-config");
  HttpTestServer server_{certificate("server")};
  GObjectPtr<GTlsDatabase> authorities_{authorities()};
  FetchOptions trusting_{authorities_.get()};
  std::int64_t now_ = g_get_real_time() / G_USEC_PER_SEC;
};

// Files and their signatures made once with minisign (tests/data/signed), so
// the format is checked against an implementation no one here wrote.
class SignedCopyTest : public EndToEndTest {
 protected:
  static std::string signed_data(const std::string &name) {
    return read_file(QOR_TEST_DATA "/signed/" + name).value();
  }
  static std::string signature(const std::string &name) { return signed_data(name + ".minisig"); }
  static std::string key(const std::string &name) {  // its public key line
    const std::string pub = read_file(QOR_TEST_DATA "/keys/" + name + ".pub").value();
    return pub.substr(pub.find('\n') + 1, 56);
  }
  void serve(const std::string &file, const std::string &signature) {
    server_.answer(kPath, HttpTestServer::ok(file));
    server_.answer(kPath + ".minisig", signature.empty() ? HttpTestServer::status(404, "Not Found")
                                                         : HttpTestServer::ok(signature));
  }
  std::optional<std::string> download(GError **error = nullptr) const {
    return download_signed(server_.url(kPath), local_, trusted_, trusting_, now_, nullptr, error);
  }
  // The copy and its signature, which is read only as a regular file.
  std::pair<std::optional<std::string>, std::optional<std::string>> kept() const {
    const std::string signature = local_ + ".minisig";
    const bool regular = g_file_test(signature.c_str(), G_FILE_TEST_IS_REGULAR);
    return {read_file(local_), regular ? read_file(signature) : std::nullopt};
  }

  std::vector<PublicKey> trusted_ = *parse_public_keys(key("a"));
  const std::string one_ = signed_data("one.cfg");
  const std::string two_ = signed_data("two.cfg");
};

}  // namespace qor::test
