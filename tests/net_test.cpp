// The download against real servers on loopback, whose authority only these
// tests trust, and the writer.
#include <qor/http_download.hpp>
#include "net/http_fetch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "net/file_replacement.h"
#include "support/http_test_server.h"
#include "test_util.h"

namespace qor {
namespace {

using test::HttpTestServer;

// The entries of a folder: nothing may be left beside the file.
std::ptrdiff_t entries(const std::string &folder) {
  const std::filesystem::directory_iterator all(folder);
  return std::distance(begin(all), end(all));
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { test::write_file(file_, "old contents\n"); }

  bool download(const std::string &url, const std::string &file, GError **error) const {
    return download_file(url.c_str(), file.c_str(), {authorities_.get()}, nullptr, error);
  }

  test::TempDir dir_;
  std::string file_ = dir_.file("config");
  HttpTestServer http_;
  HttpTestServer https_{test::certificate("server")};
  HttpTestServer untrusted_{test::certificate("untrusted")};
  HttpTestServer elsewhere_{test::certificate("elsewhere")};
  HttpTestServer stranger_{test::certificate("stranger")};
  GObjectPtr<GTlsDatabase> authorities_{test::authorities()};
};

TEST_F(HttpDownloadTest, StoresTheWholeBodyInPlaceOfTheFile) {
  http_.answer("/a", HttpTestServer::redirect(301, http_.url("/b")));
  http_.answer("/b", HttpTestServer::redirect(302, "/c"));
  http_.answer("/c", HttpTestServer::redirect(307, "final"));
  http_.answer("/final", HttpTestServer::ok("arrived\n"));
  http_.answer("/empty", HttpTestServer::ok(""));
  http_.answer("/unannounced", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nto the end\n");
  http_.answer("/upgrade", HttpTestServer::redirect(308, https_.url("/secure")));
  https_.answer("/secure", HttpTestServer::ok("secure\n"));
  // A symbolic link in the file's place is replaced, its target left alone.
  test::write_file(dir_.file("target"), "target\n");
  ASSERT_EQ(symlink(dir_.file("target").c_str(), dir_.file("link").c_str()), 0);
  for (const auto &[path, body, file] : {std::tuple{"/a", "arrived\n", file_},
                                         {"/empty", "", file_},
                                         {"/unannounced", "to the end\n", file_},
                                         {"/upgrade", "secure\n", dir_.file("link")}}) {
    EXPECT_TRUE(download(http_.url(path), file, nullptr)) << path;
    EXPECT_EQ(test::read_file(file), body) << path;
  }
  EXPECT_FALSE(g_file_test(dir_.file("link").c_str(), G_FILE_TEST_IS_SYMLINK));
  EXPECT_EQ(test::read_file(dir_.file("target")), "target\n");
  EXPECT_EQ(entries(dir_.path), 3);  // nothing left beside
}

// Whatever fails, the old file stays as it was, with nothing left beside it.
TEST_F(HttpDownloadTest, FailuresCarryTheirCodeAndKeepTheOldFile) {
  http_.answer("/loop", HttpTestServer::redirect(302, "/loop"));
  http_.answer("/broken", HttpTestServer::status(500, "Internal %s%n Error"));
  http_.answer("/unasked", HttpTestServer::status(304, "Not Modified"));
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n";
  http_.answer("/closed", head + "Connection: close\r\n\r\n" + std::string(40, 'x'));
  http_.answer("/kept", head + "\r\n" + std::string(40, 'x'));
  http_.answer("/chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40\r\nx");
  https_.answer("/last-chunk",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nx\ny\r\n");
  https_.answer("/coded", head + "Content-Encoding: identity\r\nConnection: close\r\n\r\n" +
                              std::string(40, 'x'));
  https_.answer("/gzip", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n\x1f\x8b");
  https_.answer("/unended", "HTTP/1.1 200 OK\r\n\r\nto the end?\n", {},
                HttpTestServer::kNoCloseNotify);
  http_.answer("/dropped", "");  // reads the request, then hangs up without a word
  http_.answer("/big", HttpTestServer::ok(std::string(256UL * 1024, 'n')));
  http_.answer("/plain", HttpTestServer::ok("downgraded\n"));
  https_.answer("/down", HttpTestServer::redirect(302, http_.url("/plain")));
  const GQuark http = g_quark_from_static_string("HTTP");
  const struct {
    std::string name;
    std::string url;
    GQuark domain;
    int code;
    std::string message;  // a part of it
    std::string file = {};
    rlim_t size_cap = RLIM_INFINITY;
  } cases[] = {
      {"server error", http_.url("/missing"), http, 404, "Not Found"},
      {"reason phrase as text", http_.url("/broken"), http, 500, "Internal %s%n Error"},
      {"304 to an unconditional GET", http_.url("/unasked"), http, 304, "Not Modified"},
      {"redirect loop", http_.url("/loop"), http, 10, "Too many redirects"},
      {"HTTPS to HTTP", https_.url("/down"), http, 302,
       https_.url("/down") + " to " + http_.url("/plain")},
      {"refused connection", "http://127.0.0.1:1/", http, 4, ""},
      {"unknown host", "http://qor-config.invalid/", http, 2, ""},
      {"self-signed certificate", untrusted_.url("/config"), http, 6, ""},
      {"certificate from an untrusted authority", stranger_.url("/config"), http, 6, ""},
      {"certificate for another host", elsewhere_.url("/config"), http, 6, ""},
      {"body cut short, connection closed", http_.url("/closed"), http, 7,
       "received 40 bytes of the 100"},
      {"body cut short, connection kept", http_.url("/kept"), http, 7, ""},
      {"chunk cut short", http_.url("/chunk"), http, 7, "Connection terminated unexpectedly"},
      {"last chunk missing", https_.url("/last-chunk"), http, 7, "last chunk never came"},
      {"coded body cut short", https_.url("/coded"), http, 7, "received 40 bytes of the 100"},
      {"coding not asked for", https_.url("/gzip"), http, 8, "content coding 'gzip'"},
      {"TLS closed without close_notify", https_.url("/unended"), http, 7, ""},
      {"dropped connection", http_.url("/dropped"), http, 7, ""},
      {"empty URL", "", http, 8, ""},
      {"not a URL", "not a url", http, 8, "Not a valid http or https URL: not a url"},
      {"no host", "http://", http, 8, ""},
      {"other scheme", "ftp://127.0.0.1/config", http, 8, ""},
      {"relative URL", "/config", http, 8, ""},
      {"folder is a file", http_.url("/big"), G_IO_ERROR, G_IO_ERROR_NOT_DIRECTORY, "",
       file_ + "/inside"},
      {"full disk", http_.url("/big"), G_IO_ERROR, G_IO_ERROR_FAILED, "", file_, 16UL * 1024},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const test::ScopedLimit limit(RLIMIT_FSIZE, c.size_cap);
    g_autoptr(GError) error = nullptr;
    const std::string file = c.file.empty() ? file_ : c.file;
    EXPECT_FALSE(download(c.url, file, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, c.domain, c.code)) << error->code << ": " << error->message;
    EXPECT_NE(std::string(error->message).find(c.message), std::string::npos) << error->message;
    EXPECT_EQ(test::read_file(file_), "old contents\n");
    EXPECT_EQ(entries(dir_.path), 1);
  }
  EXPECT_EQ(http_.requests("/plain"), 0);
  EXPECT_FALSE(http_download_file(nullptr, file_.c_str(), nullptr));
}

// Every way an HTTP/2 server can cut a body (support/h2_server.py, on python3-h2):
// none is taken, and a whole body is, which a check for cut HTTP/1.1 chunks refused.
TEST_F(HttpDownloadTest, AnHttp2BodyIsTakenWholeOrNotAtAll) {
  if (!QOR_SPEAKS_HTTP2) {
    GTEST_SKIP() << "libsoup 2.4 speaks HTTP/1.1 only";
  }
  g_autoptr(GSubprocess) server =
      g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, nullptr, QOR_TEST_SUPPORT "/h2_server.py",
                       (test::certificate("server") + ".pem").c_str(),
                       (test::certificate("server") + ".key").c_str(), nullptr);
  g_autoptr(GDataInputStream) out = g_data_input_stream_new(g_subprocess_get_stdout_pipe(server));
  g_autofree char *port = g_data_input_stream_read_line(out, nullptr, nullptr, nullptr);
  ASSERT_NE(port, nullptr);
  const std::string server_url = std::string("https://127.0.0.1:") + port + "/";
  const std::string whole(20000, 'x');
  const struct {
    std::string mode;
    int code;  // 0: taken
  } cases[] = {{"complete", 0}, {"unsized", 0}, {"moved", 0}, {"reset", 7},
               {"goaway", 7},   {"closed", 7},  {"short", 7}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.mode);
    test::write_file(file_, "old contents\n");
    g_autoptr(GError) error = nullptr;
    EXPECT_EQ(download(server_url + c.mode, file_, &error), c.code == 0);
    EXPECT_EQ(error != nullptr ? error->code : 0, c.code) << (error ? error->message : "");
    EXPECT_EQ(test::read_file(file_), c.code == 0 ? whole : "old contents\n");
    EXPECT_EQ(entries(dir_.path), 1);
  }
  // A stalled stream is given up at once when the caller cancels.
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  g_autoptr(GError) error = nullptr;
  const auto cancel = [&cancellable](std::string_view, GError **) {
    g_cancellable_cancel(cancellable);
    return true;
  };
  EXPECT_FALSE(http_fetch((server_url + "stalled").c_str(), cancel, {authorities_.get()},
                          cancellable, &error));
  EXPECT_TRUE(g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED));
  g_subprocess_force_exit(server);
}

// GIO's replace wrote in place when it could not make its temporary file, and
// a failed write cut the old file short. No servers: they would take descriptors.
TEST(FileReplacementTest, NeverTouchesTheOldFile) {
  const test::TempDir dir_;
  const std::string file_ = dir_.file("config");
  test::write_file(file_, "old contents\n");
  ASSERT_EQ(g_mkdir(dir_.file("folder").c_str(), 0700), 0);
  const int free = dup(0);
  close(free);
  const auto none_left = static_cast<rlim_t>(free);  // a limit that leaves no descriptor
  const struct {
    std::string file;
    rlim_t descriptors;
    rlim_t size_cap;
    std::string failing;  // the step that fails
  } cases[] = {
      {file_, none_left, RLIM_INFINITY, "write"},
      {file_, none_left + 1, 4, "write"},
      {dir_.file("fresh"), none_left + 1, 4, "write"},
      {dir_.file("folder"), RLIM_INFINITY, RLIM_INFINITY, "commit"},
  };
  for (const auto &c : cases) {
    g_autoptr(GError) error = nullptr;
    FileReplacement writer(c.file);
    const std::string step = [&] {
      const test::ScopedLimit descriptors(RLIMIT_NOFILE, c.descriptors);
      const test::ScopedLimit size(RLIMIT_FSIZE, c.size_cap);
      return !writer.write("new contents\n", 13, &error) ? "write"
             : !writer.commit(&error)                    ? "commit"
                                                         : "none";
    }();
    EXPECT_EQ(step, c.failing) << c.file;
    EXPECT_EQ(error->domain, G_IO_ERROR);
    EXPECT_FALSE(writer.commit(nullptr)) << "a failed replacement stays failed";
    EXPECT_EQ(test::read_file(file_), "old contents\n");
    EXPECT_EQ(entries(dir_.path), 2);
  }
}

// A run killed between naming its file and the rename leaves it beside the
// copy; the next commit there removes such files, and nothing else.
TEST(FileReplacementTest, ACommitSweepsWhatKilledRunsLeft) {
  const test::TempDir dir;
  const auto make = [&dir](const char *name, bool old, bool link = false) {
    const std::string path = dir.file(name);
    link ? (void)symlink("config", path.c_str()) : test::write_file(path, "left\n");
    const timespec hours_ago[] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    utimensat(AT_FDCWD, path.c_str(), old ? hours_ago : nullptr, AT_SYMLINK_NOFOLLOW);
  };
  make(".qor-download-0123abcd", true);   // a name given to an unnamed file: swept
  make(".qor-download-Ab3xYz", true);     // a named temporary file's: swept
  make(".qor-download-0123abce", false);  // written to lately: kept
  make(".qor-download-0123", true);       // no name of ours: kept
  make("qor-download-0123abcd", true);
  make(".qor-download-9999aaaa", true, true);  // not a regular file: kept
  FileReplacement writer(dir.file("config"));
  ASSERT_TRUE(writer.commit(nullptr));
  std::set<std::string> left;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path)) {
    left.insert(entry.path().filename());
  }
  EXPECT_EQ(left, (std::set<std::string>{"config", ".qor-download-0123abce", ".qor-download-0123",
                                         "qor-download-0123abcd", ".qor-download-9999aaaa"}));
  EXPECT_EQ(test::read_file(dir.file("config")), "");
}

}  // namespace
}  // namespace qor
