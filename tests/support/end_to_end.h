// Fixtures of the cases that run the whole road against an HTTPS server on
// loopback, where support/outside.cpp points the library and the program.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/glib_ptr.h"
#include "net/http_fetch.h"
#include "support/http_test_server.h"
#include "test_util.h"

namespace qor::test {

inline constexpr const char *kPath = "/gfx/qor-config.cfg";

class EndToEndTest : public ::testing::Test {
 protected:
  // Where the load fetches from, for this process and the programs it runs.
  void SetUp() override {
    for (const std::string &variable : source_) {
      const std::size_t equals = variable.find('=');
      g_setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), TRUE);
    }
  }

  test::TempDir bin_;
  test::TempDir home_;
  std::string local_ = home_.file(".qor-config");
  HttpTestServer server_{test::certificate("server")};
  std::vector<std::string> source_ = {"QOR_TEST_CONFIG_URL=" + server_.url(kPath),
                                      "QOR_TEST_CA_FILE=" + test::authority_file()};
  GObjectPtr<GTlsDatabase> authorities_{test::authorities()};
  FetchOptions trusting_{authorities_.get()};
  std::int64_t now_ = g_get_real_time() / G_USEC_PER_SEC;
};

// minisign, which publishers sign with, makes the keys and signatures, so the
// format is checked against an implementation no one here wrote.
class SignedCopyTest : public EndToEndTest {
 protected:
  void SetUp() override {
    if (minisign_.empty()) {
      GTEST_SKIP() << "no minisign on PATH";
    }
  }
  std::string key(const std::string &name) {  // its public key line
    EXPECT_EQ(run({minisign_, "-G", "-W", "-p", name + ".pub", "-s", name}), 0);
    const std::string pub = test::read_file(keys_.file(name + ".pub")).value();
    return pub.substr(pub.find('\n') + 1, 56);
  }
  std::string sign(const std::string &key, const std::string &text,
                   std::vector<std::string> options) {
    test::write_file(keys_.file("qor-config.cfg"), text);
    options.insert(options.begin(), {minisign_, "-S", "-s", key, "-m", "qor-config.cfg"});
    EXPECT_EQ(run(options), 0);
    return test::read_file(keys_.file("qor-config.cfg.minisig")).value();
  }
  void serve(const std::string &file, const std::string &signature) {
    server_.answer(kPath, HttpTestServer::ok(file));
    server_.answer(std::string(kPath) + ".minisig", signature.empty()
                                                        ? HttpTestServer::status(404, "Not Found")
                                                        : HttpTestServer::ok(signature));
  }
  std::pair<std::optional<std::string>, std::optional<std::string>> kept() const {
    return {test::read_file(local_), test::read_file(local_ + ".minisig")};
  }

  test::TempDir keys_;

 private:
  int run(std::vector<std::string> argv) const {
    return test::run_program(std::move(argv), {}, keys_.path.c_str()).status;
  }
  std::string minisign_ = [] {
    g_autofree char *found = g_find_program_in_path("minisign");
    return std::string(found != nullptr ? found : "");
  }();
};

inline std::vector<std::string> stamped(const std::string &time,
                                        const char *file = "qor-config.cfg") {
  return {"-t", "timestamp:" + time + "\tfile:" + file};
}

}  // namespace qor::test
