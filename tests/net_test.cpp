// The download against real servers on loopback, whose authority only these
// tests trust, and the writer. Their tables are in data/http/.
#include <qor/http_download.hpp>
#include "net/http_fetch.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "net/file_replacement.h"
#include "support/http_test_server.h"
#include "test_util.h"

namespace qor::test {
namespace {

class HttpDownloadTest : public ::testing::Test {
 protected:
  HttpDownloadTest() {
    for (const std::string name : {"http", "https", "untrusted", "elsewhere", "stranger"}) {
      const std::string cert = certificate(name == "https" ? "server" : name.c_str());
      urls_["{" + name + "}"] =
          servers_.try_emplace(name, name == "http" ? "" : cert).first->second.url("");
    }
    for (const auto &[server, path, answer, end, header] : rows<5>("http/answers")) {
      HttpTestServer &to = servers_.at(server);
      header.empty()
          ? to.answer(path, expand(answer), {},
                      end.empty() ? HttpTestServer::kCloseNotify : HttpTestServer::kNoCloseNotify)
          : to.answer_if(path, header, expand(answer));
    }
    write_file(dir_.file("target"), "target\n");
    symlink(dir_.file("target").c_str(), dir_.file("link").c_str());
    g_mkdir(dir_.file("folder").c_str(), 0700);
    // GIO itself checks the certificate of an HTTPS proxy, against its default database.
    g_tls_backend_set_default_database(g_tls_backend_get_default(), authorities_.get());
    // GLib warns of an error set over another: a failure that went on as a success.
    g_log_set_fatal_mask("GLib", GLogLevelFlags(G_LOG_FATAL_MASK | G_LOG_LEVEL_WARNING));
  }

  std::string expand(std::string text, const std::string &url = {}) const {
    for (const auto &[name, server_url] : urls_) {
      text = replaced(text, ("\\" + name).c_str(), server_url);
    }
    text = replaced(text, "\\{20000 x}", std::string(20000, 'x'));
    return replaced(replaced(text, "\\{dir}", dir_.path), "\\{url}", url);
  }

  // Downloads each row of the table, from the servers the row names.
  void check(const std::string &table) {
    for (const auto &[trace, url_text, code, text, option] : rows<5>(table)) {
      SCOPED_TRACE(trace);
      const std::string url = expand(url_text);
      const std::string value = expand(option.substr(option.find('=') + 1));
      const std::string file = option.starts_with("file=") ? value : file_;
      write_file(file_, "old contents\n");
      const ScopedLimit limit(RLIMIT_FSIZE,
                              option.starts_with("size-cap=") ? std::stoul(value) : RLIM_INFINITY);
      g_autoptr(GProxyResolver) proxies = g_simple_proxy_resolver_new(
          option.starts_with("proxy=") ? value.c_str() : nullptr, nullptr);
      g_autoptr(GCancellable) cancellable = g_cancellable_new();
      const auto cancel = [&cancellable](std::string_view = {}, GError ** = nullptr) {
        g_cancellable_cancel(cancellable);
        return true;
      };
      g_autoptr(GError) error = nullptr;
      const bool stored =
          option == "cancelled"
              ? cancel() && http_download_file(url.c_str(), file.c_str(), cancellable, &error)
          : option == "cancel-mid-body"
              ? http_fetch(url.c_str(), cancel, {authorities_.get()}, cancellable, &error)
              : download_file(url.c_str(), file == "(none)" ? nullptr : file.c_str(),
                              {authorities_.get(), {}, proxies}, nullptr, &error);
      const std::string expected = expand(text, url);
      EXPECT_EQ(outcome(error), stored ? "" : code + " " + expected);
      EXPECT_EQ(read_file(stored ? file : file_), stored ? expected : "old contents\n");
      EXPECT_EQ(entries(dir_.path), 4);
    }
  }

  TempDir dir_;
  std::string file_ = dir_.file("config");
  std::map<std::string, HttpTestServer> servers_;
  std::map<std::string, std::string> urls_;
  GObjectPtr<GTlsDatabase> authorities_{authorities()};
};

TEST_F(HttpDownloadTest, EachDownloadEndsAsItsRowSays) {
  check("http/downloads");
  EXPECT_FALSE(g_file_test(dir_.file("link").c_str(), G_FILE_TEST_IS_SYMLINK));
  EXPECT_EQ(read_file(dir_.file("target")), "target\n");
  EXPECT_EQ(servers_.at("http").requests("/plain"), 0);
  EXPECT_FALSE(http_download_file(nullptr, file_.c_str(), nullptr));
}

// Every way an HTTP/2 server can cut a body (support/h2_server.py, on python3-h2):
// none is taken, and a whole body is, which a check for cut HTTP/1.1 chunks refused.
TEST_F(HttpDownloadTest, AnHttp2BodyIsTakenWholeOrNotAtAll) {
  if (!QOR_SPEAKS_HTTP2) GTEST_SKIP() << "libsoup 2.4 speaks HTTP/1.1 only";
  const std::string cert = certificate("server");
  g_autoptr(GSubprocess) server =
      g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, nullptr, QOR_TEST_SUPPORT "/h2_server.py",
                       (cert + ".pem").c_str(), (cert + ".key").c_str(), nullptr);
  g_autoptr(GDataInputStream) out = g_data_input_stream_new(g_subprocess_get_stdout_pipe(server));
  g_autofree char *port = g_data_input_stream_read_line(out, nullptr, nullptr, nullptr);
  ASSERT_NE(port, nullptr);
  urls_["{h2}"] = std::string("https://127.0.0.1:") + port;
  check("http/h2");
  g_subprocess_force_exit(server);
}

// GIO's replace wrote in place when it could not make its temporary file, and
// a failed write cut the old file short. No servers: they would take descriptors.
TEST(FileReplacementTest, ReplacesTheFileWholeOrNotAtAll) {
  const TempDir dir;
  ASSERT_EQ(g_mkdir(dir.file("folder").c_str(), 0700), 0);
  const int free = dup(0);
  close(free);
  const std::map<std::string, int> errors{
      {"-", 0}, {"EOPNOTSUPP", EOPNOTSUPP}, {"EISDIR", EISDIR}, {"EINVAL", EINVAL}};
  for (const auto &[file, descriptors, size_cap, tmpfile, failing, failure] :
       rows<6>("http/replacements")) {
    SCOPED_TRACE(file + " " + tmpfile);
    write_file(dir.file("config"), "old contents\n");
    g_mkdir(dir.file("gone").c_str(), 0700);
    FileReplacement writer(dir.file(file));
    g_autoptr(GError) error = nullptr;
    const std::string step = on_a_thread(errors.at(tmpfile), O_TMPFILE & ~O_DIRECTORY, [&] {
      const ScopedLimit open_files(
          RLIMIT_NOFILE, descriptors == "-" ? RLIM_INFINITY : free + std::stoul(descriptors));
      const ScopedLimit size(RLIMIT_FSIZE, size_cap == "-" ? RLIM_INFINITY : std::stoul(size_cap));
      const bool written = writer.write("new contents\n", 13, &error);
      g_rmdir(dir.file("gone").c_str());
      return !written ? "write" : writer.commit(&error) ? "none" : "commit";
    });
    EXPECT_EQ(step, failing);
    EXPECT_EQ(outcome(error), replaced(failure, "\\{dir}", dir.path));
    g_clear_error(&error);
    EXPECT_FALSE(writer.commit(&error));
    EXPECT_EQ(outcome(error),
              "G_IO_ERROR_CLOSED The replacement of " + dir.file(file) + " is over");
    EXPECT_EQ(read_file(dir.file("config")),
              failing == "none" ? "new contents\n" : "old contents\n");
    EXPECT_EQ(entries(dir.path), 2);
  }
}

// A run killed between naming its file and the rename leaves it beside the
// copy; the next commit there removes such files, and nothing else.
TEST(FileReplacementTest, ACommitSweepsWhatKilledRunsLeft) {
  const TempDir dir;
  std::set<std::string> kept{"config"};
  for (const auto &[name, minutes, fate, kind] : rows<4>("http/leftovers")) {
    const std::string path = dir.file(name);
    kind == "link" ? (void)symlink("config", path.c_str()) : write_file(path, "left\n");
    const timespec written{time(nullptr) - std::stol(minutes) * 60, 0};
    const std::array times{written, written};
    utimensat(AT_FDCWD, path.c_str(), times.data(), AT_SYMLINK_NOFOLLOW);
    if (fate == "kept") kept.insert(name);
  }
  FileReplacement writer(dir.file("config"));
  ASSERT_TRUE(writer.commit(nullptr));
  std::set<std::string> left;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path))
    left.insert(entry.path().filename());
  EXPECT_EQ(left, kept);
  EXPECT_EQ(read_file(dir.file("config")), "");
}

}  // namespace
}  // namespace qor::test
