#include "net/http_download.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "support/http_test_server.h"
#include "test_util.h"

// Under AddressSanitizer, the leak checker of this toolchain crashes at exit
// while scanning the thread-local storage of GIO's dynamically loaded TLS
// backend; not tracking that storage avoids it, and leak checks still run.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const char *__asan_default_options() { return "intercept_tls_get_addr=0"; }

namespace qor {
namespace {

using test::HttpTestServer;
using test::read_file;
using test::TempDir;
using test::write_file;

GQuark http_domain() { return g_quark_from_static_string("HTTP"); }

// The names in a folder, sorted, to see that nothing was left behind.
std::string listing(const std::string &folder) {
  g_autoptr(GDir) dir = g_dir_open(folder.c_str(), 0, nullptr);
  std::vector<std::string> names;
  while (const char *name = dir != nullptr ? g_dir_read_name(dir) : nullptr) {
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string &name : names) {
    joined += name + " ";
  }
  return joined;
}

// A throw-away certificate authority and server certificate, made once.
const std::string &cert_dir() {
  static TempDir dir;
  static const bool made = [] {
    const char *argv[] = {QOR_TEST_SUPPORT_DIR "/make-certs.sh", dir.path().c_str(), "localhost",
                          nullptr};
    int status = 0;
    return g_spawn_sync(nullptr, const_cast<char **>(argv), nullptr, G_SPAWN_DEFAULT, nullptr,
                        nullptr, nullptr, nullptr, &status, nullptr) &&
           g_spawn_check_wait_status(status, nullptr);
  }();
  EXPECT_TRUE(made);
  return dir.path();
}

// Caps the size of files this process writes, so that a write fails part way.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &old_), 0);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, old_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    (void)std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

class HttpDownloadTest : public ::testing::Test {
 protected:
  HttpDownloadTest() { write_file(old_path_, "old contents\n"); }

  // Downloads path on the server into the file; expects a failure in domain
  // and leaves the error for further checks.
  void expect_failure(const std::string &url, GQuark domain, const std::string &file) {
    error_ = nullptr;
    GError *error = nullptr;
    EXPECT_FALSE(http_download_file(url.c_str(), file.c_str(), &error));
    ASSERT_NE(error, nullptr);
    error_.reset(error);
    EXPECT_EQ(error->domain, domain) << error->message;
  }
  void expect_old_file_kept() {
    EXPECT_EQ(read_file(old_path_), "old contents\n");
    EXPECT_EQ(listing(dir_.path()), "config ");
  }

  TempDir dir_;
  std::string old_path_ = dir_.file("config");
  std::string new_path_ = dir_.file("fresh");
  HttpTestServer server_;
  GErrorPtr error_;
};

TEST_F(HttpDownloadTest, StoresTheBody) {
  server_.answer("/config", HttpTestServer::ok("[Debian bookworm]\nsources=a\n"));
  server_.answer("/empty", HttpTestServer::ok(""));
  g_autoptr(GError) error = nullptr;

  EXPECT_TRUE(http_download_file(server_.url("/config").c_str(), old_path_.c_str(), &error));
  EXPECT_EQ(read_file(old_path_), "[Debian bookworm]\nsources=a\n");
  EXPECT_TRUE(http_download_file(server_.url("/config").c_str(), new_path_.c_str(), &error));
  EXPECT_EQ(read_file(new_path_), "[Debian bookworm]\nsources=a\n");
  EXPECT_TRUE(http_download_file(server_.url("/empty").c_str(), old_path_.c_str(), &error));
  EXPECT_EQ(read_file(old_path_), "");
  EXPECT_EQ(listing(dir_.path()), "config fresh ");
  EXPECT_EQ(error, nullptr);
}

TEST_F(HttpDownloadTest, ReplacesASymbolicLinkWithoutFollowingIt) {
  const std::string target = dir_.file("target");
  write_file(target, "target\n");
  ASSERT_EQ(symlink(target.c_str(), new_path_.c_str()), 0);
  server_.answer("/config", HttpTestServer::ok("new\n"));

  EXPECT_TRUE(http_download_file(server_.url("/config").c_str(), new_path_.c_str(), nullptr));
  EXPECT_FALSE(g_file_test(new_path_.c_str(), G_FILE_TEST_IS_SYMLINK));
  EXPECT_EQ(read_file(new_path_), "new\n");
  EXPECT_EQ(read_file(target), "target\n");
}

TEST_F(HttpDownloadTest, FollowsRedirections) {
  server_.answer("/a", HttpTestServer::redirect(301, server_.url("/b")));
  server_.answer("/b", HttpTestServer::redirect(302, "/c"));
  server_.answer("/c", HttpTestServer::redirect(307, "final"));
  server_.answer("/final", HttpTestServer::ok("arrived\n"));

  EXPECT_TRUE(http_download_file(server_.url("/a").c_str(), old_path_.c_str(), nullptr));
  EXPECT_EQ(read_file(old_path_), "arrived\n");
  EXPECT_EQ(server_.requests("/final"), 1);
}

TEST_F(HttpDownloadTest, GivesUpOnARedirectionLoop) {
  server_.answer("/loop", HttpTestServer::redirect(302, "/loop"));
  expect_failure(server_.url("/loop"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 10);
  EXPECT_EQ(server_.requests("/loop"), 21);
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, ReportsUnsuccessfulStatuses) {
  server_.answer("/broken", HttpTestServer::status(500, "Internal %s%n Error"));
  expect_failure(server_.url("/missing"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 404);
  EXPECT_STREQ(error_->message, "Not Found");
  expect_failure(server_.url("/broken"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 500);
  EXPECT_STREQ(error_->message, "Internal %s%n Error");
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, ReportsTransportFailuresBelowOneHundred) {
  guint16 closed_port = 0;
  {
    HttpTestServer gone;
    closed_port = static_cast<guint16>(std::stoi(gone.url("").substr(17)));
  }
  expect_failure("http://127.0.0.1:" + std::to_string(closed_port) + "/", http_domain(), old_path_);
  EXPECT_EQ(error_->code, 4);
  expect_failure("http://qor-config.invalid/config", http_domain(), old_path_);
  EXPECT_EQ(error_->code, 2);
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, RefusesInvalidUrls) {
  for (const char *url : {"", "not a url", "http://", "ftp://127.0.0.1/config", "/config"}) {
    expect_failure(url, http_domain(), old_path_);
    EXPECT_EQ(error_->code, 8) << url;
  }
  EXPECT_FALSE(http_download_file(nullptr, old_path_.c_str(), nullptr));
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, RefusesAnUntrustedCertificate) {
  HttpTestServer https(cert_dir());
  https.answer("/config", HttpTestServer::ok("forged\n"));
  expect_failure(https.url("/config"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 6);
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, RefusesABodyCutShort) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n";
  server_.answer("/closed", head + "Connection: close\r\n\r\n" + std::string(40, 'x'));
  server_.answer("/kept", head + "\r\n" + std::string(40, 'x'));

  expect_failure(server_.url("/closed"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 7);
  EXPECT_NE(std::string(error_->message).find("received 40 bytes of the 100"), std::string::npos)
      << error_->message;
  expect_failure(server_.url("/kept"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 7);
  expect_failure(server_.url("/closed"), http_domain(), new_path_);
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, HandsOnTheOpenError) {
  server_.answer("/config", HttpTestServer::ok("new\n"));
  expect_failure(server_.url("/config"), G_IO_ERROR, old_path_ + "/inside");
  EXPECT_TRUE(error_->code == G_IO_ERROR_NOT_DIRECTORY || error_->code == G_IO_ERROR_NOT_FOUND)
      << error_->message;
  expect_old_file_kept();
}

TEST_F(HttpDownloadTest, LeavesEverythingAsItWasWhenAWriteFails) {
  const std::string big(256UL * 1024, 'n');
  server_.answer("/big", HttpTestServer::ok(big));
  {
    const FileSizeLimit limit(16UL * 1024);
    expect_failure(server_.url("/big"), G_IO_ERROR, old_path_);
    expect_failure(server_.url("/big"), G_IO_ERROR, new_path_);
  }
  expect_old_file_kept();
  EXPECT_TRUE(http_download_file(server_.url("/big").c_str(), new_path_.c_str(), nullptr));
  EXPECT_EQ(read_file(new_path_), big);
}

// These run where the test certificate authority is trusted: inside a
// private namespace set up by tests/support/with-trusted-ca.
class HttpsTrustedTest : public HttpDownloadTest {
 protected:
  void SetUp() override {
    if (g_getenv("QOR_TRUSTED_CERT_DIR") == nullptr) {
      GTEST_SKIP() << "needs the test CA trusted (runs under tests/support/with-trusted-ca)";
    }
  }
};

TEST_F(HttpsTrustedTest, DownloadsOverHttps) {
  HttpTestServer https(g_getenv("QOR_TRUSTED_CERT_DIR"));
  https.answer("/config", HttpTestServer::ok("secure\n"));
  https.answer("/moved", HttpTestServer::redirect(302, "/config"));
  server_.answer("/upgrade", HttpTestServer::redirect(301, https.url("/moved")));

  EXPECT_TRUE(http_download_file(server_.url("/upgrade").c_str(), old_path_.c_str(), nullptr));
  EXPECT_EQ(read_file(old_path_), "secure\n");
}

TEST_F(HttpsTrustedTest, RefusesARedirectionFromHttpsToHttp) {
  HttpTestServer https(g_getenv("QOR_TRUSTED_CERT_DIR"));
  server_.answer("/config", HttpTestServer::ok("downgraded\n"));
  https.answer("/config", HttpTestServer::redirect(302, server_.url("/config")));

  expect_failure(https.url("/config"), http_domain(), old_path_);
  EXPECT_EQ(error_->code, 302);
  EXPECT_NE(std::string(error_->message).find(https.url("/config")), std::string::npos);
  EXPECT_NE(std::string(error_->message).find(server_.url("/config")), std::string::npos);
  EXPECT_EQ(server_.requests("/config"), 0);
  expect_old_file_kept();
}

}  // namespace
}  // namespace qor
