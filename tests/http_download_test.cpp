#include "net/http_download.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

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
using test::listing;
using test::read_file;
using test::TempDir;
using test::write_file;

GQuark http_domain() { return g_quark_from_static_string("HTTP"); }

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

class HttpDownloadTest : public ::testing::Test {
 protected:
  HttpDownloadTest() { write_file(old_path_, "old contents\n"); }

  // Downloads path on the server into the file; expects a failure in domain
  // and leaves the error for further checks.
  void expect_failure(const std::string &url, GQuark domain, const std::string &file,
                      GCancellable *cancellable = nullptr) {
    error_ = nullptr;
    GError *error = nullptr;
    EXPECT_FALSE(http_download_file(url.c_str(), file.c_str(), cancellable, &error));
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

TEST_F(HttpDownloadTest, StoresTheBodyInPlaceOfASymbolicLink) {
  const std::string target = dir_.file("target");
  write_file(target, "target\n");
  ASSERT_EQ(symlink(target.c_str(), new_path_.c_str()), 0);
  server_.answer("/a", HttpTestServer::redirect(301, server_.url("/b")));
  server_.answer("/b", HttpTestServer::redirect(302, "/c"));
  server_.answer("/c", HttpTestServer::redirect(307, "final"));
  server_.answer("/final", HttpTestServer::ok("arrived\n"));
  server_.answer("/empty", HttpTestServer::ok(""));

  for (const auto &[path, body] : {std::pair{"/a", "arrived\n"}, std::pair{"/empty", ""}}) {
    for (const std::string &file : {old_path_, new_path_}) {
      EXPECT_TRUE(http_download_file(server_.url(path).c_str(), file.c_str(), nullptr)) << path;
      EXPECT_EQ(read_file(file), body) << path;
    }
  }
  EXPECT_FALSE(g_file_test(new_path_.c_str(), G_FILE_TEST_IS_SYMLINK));
  EXPECT_EQ(read_file(target), "target\n");
  EXPECT_EQ(listing(dir_.path()), "config fresh target ");
}

// Every failure leaves the old file as it was and makes no new one.
TEST_F(HttpDownloadTest, FailuresCarryTheirCodeAndTouchNoFile) {
  guint16 closed_port = 0;
  {
    const HttpTestServer gone;
    closed_port = static_cast<guint16>(std::stoi(gone.url("").substr(17)));
  }
  const HttpTestServer https(cert_dir());
  server_.answer("/loop", HttpTestServer::redirect(302, "/loop"));
  server_.answer("/broken", HttpTestServer::status(500, "Internal %s%n Error"));
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n";
  server_.answer("/closed", head + "Connection: close\r\n\r\n" + std::string(40, 'x'));
  server_.answer("/kept", head + "\r\n" + std::string(40, 'x'));
  server_.answer("/dropped", "");  // read the request, then hang up without a word
  const struct {
    std::string name;
    std::string url;
    int code;
    std::string message;  // a part of it
  } cases[] = {
      {"server error 404", server_.url("/missing"), 404, "Not Found"},
      {"server error 500", server_.url("/broken"), 500, "Internal %s%n Error"},
      {"redirect loop", server_.url("/loop"), 10, ""},
      {"refused connection", "http://127.0.0.1:" + std::to_string(closed_port) + "/", 4, ""},
      {"unknown host", "http://qor-config.invalid/config", 2, ""},
      {"untrusted certificate", https.url("/config"), 6, ""},
      {"truncated body, connection closed", server_.url("/closed"), 7,
       "received 40 bytes of the 100"},
      {"truncated body, connection kept", server_.url("/kept"), 7, ""},
      {"dropped connection", server_.url("/dropped"), 7, ""},
      {"empty URL", "", 8, ""},
      {"malformed URL", "not a url", 8, ""},
      {"URL without host", "http://", 8, ""},
      {"unsupported scheme", "ftp://127.0.0.1/config", 8, ""},
      {"relative URL", "/config", 8, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string &file : {old_path_, new_path_}) {
      ASSERT_NO_FATAL_FAILURE(expect_failure(c.url, http_domain(), file));
      EXPECT_EQ(error_->code, c.code) << error_->message;
      EXPECT_NE(std::string(error_->message).find(c.message), std::string::npos);
    }
  }
  EXPECT_EQ(server_.requests("/loop"), 42);
  EXPECT_FALSE(http_download_file(nullptr, old_path_.c_str(), nullptr));
  expect_old_file_kept();
}

// The file's own failures come back as GIO's errors, before or part way
// through the body; a cap on the size of files this process writes fails a
// write as a full disk does.
TEST_F(HttpDownloadTest, FileFailuresKeepTheOldFile) {
  const std::string big(256UL * 1024, 'n');
  server_.answer("/big", HttpTestServer::ok(big));
  const struct {
    std::string name;
    std::string file;
    rlim_t size_cap;
  } cases[] = {
      {"folder is a file", old_path_ + "/inside", RLIM_INFINITY},
      {"full disk", old_path_, 16UL * 1024},
      {"full disk, new file", new_path_, 16UL * 1024},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    {
      const test::ScopedLimit limit(RLIMIT_FSIZE, c.size_cap);
      expect_failure(server_.url("/big"), G_IO_ERROR, c.file);
    }
    expect_old_file_kept();
  }
  EXPECT_TRUE(http_download_file(server_.url("/big").c_str(), new_path_.c_str(), nullptr));
  EXPECT_EQ(read_file(new_path_), big);
}

// Cancelled while the server has not answered yet, the download ends with
// GIO's error instead of waiting for the answer.
TEST_F(HttpDownloadTest, CancelledWhileTheServerWaits) {
  server_.answer("/slow", HttpTestServer::ok("late\n"), std::chrono::seconds(5));
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  const std::jthread canceller([&cancellable] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    g_cancellable_cancel(cancellable);
  });
  ASSERT_NO_FATAL_FAILURE(expect_failure(server_.url("/slow"), G_IO_ERROR, old_path_, cancellable));
  EXPECT_EQ(error_->code, G_IO_ERROR_CANCELLED) << error_->message;
  expect_old_file_kept();
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

TEST_F(HttpsTrustedTest, FollowsHttpToHttpsButNotBack) {
  HttpTestServer https(g_getenv("QOR_TRUSTED_CERT_DIR"));
  https.answer("/config", HttpTestServer::ok("secure\n"));
  https.answer("/moved", HttpTestServer::redirect(302, "/config"));
  https.answer("/down", HttpTestServer::redirect(302, server_.url("/config")));
  server_.answer("/upgrade", HttpTestServer::redirect(301, https.url("/moved")));
  server_.answer("/config", HttpTestServer::ok("downgraded\n"));

  ASSERT_NO_FATAL_FAILURE(expect_failure(https.url("/down"), http_domain(), old_path_));
  EXPECT_EQ(error_->code, 302);
  EXPECT_NE(std::string(error_->message).find(https.url("/down")), std::string::npos);
  EXPECT_NE(std::string(error_->message).find(server_.url("/config")), std::string::npos);
  EXPECT_EQ(server_.requests("/config"), 0);
  expect_old_file_kept();
  EXPECT_TRUE(http_download_file(server_.url("/upgrade").c_str(), old_path_.c_str(), nullptr));
  EXPECT_EQ(read_file(old_path_), "secure\n");
}

}  // namespace
}  // namespace qor
