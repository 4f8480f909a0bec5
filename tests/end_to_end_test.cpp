// The whole road against HTTPS servers on loopback, the tests' own
// (support/end_to_end.h) and Debian's (support/real_server.h); the program
// runs under QOR_E2E_WRAPPER (such as valgrind) when that is set.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <thread>

#include <qor/configuration.hpp>
#include <qor/distro_info.hpp>
#include "base/glib_ptr.h"
#include "load/copy_lock.h"
#include "load/local_copy.h"
#include "load/signed_copy.h"
#include "load/validated_copy.h"
#include "signature/signature.h"
#include "support/end_to_end.h"
#include "support/real_server.h"
#include "qor-config-test/early_download.h"

namespace qor {
namespace {

using test::EndToEndTest;
using test::HttpTestServer;
using test::kPath;
using test::RealServer;
using test::replaced;
using test::SignedCopyTest;
using test::stamped;

// One get_configuration_async call and what came back to it.
struct AsyncCall {
  bool done = false;
  const Configuration *config = nullptr;
  GErrorPtr error;

  explicit AsyncCall(GCancellable *cancellable = nullptr) {
    get_configuration_async(
        cancellable,
        [](GObject *, GAsyncResult *result, gpointer data) {
          EXPECT_TRUE(g_main_context_is_owner(g_main_context_default()));  // in our main loop
          auto *call = static_cast<AsyncCall *>(data);
          GError *failure = nullptr;
          call->config = get_configuration_finish(result, &failure);
          call->error.reset(failure);
          call->done = true;
        },
        this);
  }
  AsyncCall(const AsyncCall &) = delete;
  AsyncCall &operator=(const AsyncCall &) = delete;
};

using AsyncCalls = std::vector<std::unique_ptr<AsyncCall>>;

AsyncCalls async_calls(int count, GCancellable *cancellable = nullptr) {
  AsyncCalls calls;
  for (int i = 0; i < count; ++i) {
    calls.push_back(std::make_unique<AsyncCall>(cancellable));
  }
  return calls;
}

// Runs the main loop until each call's callback has come.
const AsyncCalls &wait_for(const AsyncCalls &calls) {
  for (const auto &call : calls) {
    while (!call->done) {
      g_main_context_iteration(nullptr, TRUE);
    }
  }
  return calls;
}

// The record is process-wide, so its whole life is this one sequence.
TEST_F(EndToEndTest, OneRecordLoadedOnceFromAnyThread) {
  // Callers may read the records to the very end, after static destructors.
  static const Configuration *kept = nullptr;
  std::atexit([] {
    if (kept == nullptr || kept->sources->at(0) != "x" || !get_distro_information()->valid)
      std::abort();
  });
  g_setenv("PATH", bin_.path.c_str(), TRUE);
  g_setenv("HOME", home_.path.c_str(), TRUE);
  test::write_tool(bin_.path, "Distributor ID:\tDebian\nCodename:\tbookworm\n");
  test::write_file(local_, "old\n");
  ConfigurationDownload early;  // the server answers 404
  EXPECT_EQ(get_configuration(early), nullptr);
  EXPECT_EQ(get_configuration(early), nullptr);  // downloads anew
  // Cancelled while the server holds back its answer: at once; then again.
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\n"), std::chrono::seconds(30));
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  const std::jthread canceller([this, &cancellable, before = server_.requests(kPath)] {
    test::eventually([&] { return server_.requests(kPath) != before; });  // the server holds it
    g_cancellable_cancel(cancellable);
  });
  const auto start = std::chrono::steady_clock::now();
  const AsyncCalls cancelled_load = async_calls(1, cancellable);
  wait_for(cancelled_load);
  EXPECT_EQ(cancelled_load[0]->config, nullptr);
  EXPECT_TRUE(g_error_matches(cancelled_load[0]->error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(test::read_file(local_), "old\n");

  // Callers that wait for a failing load share its failure, from one GET; one
  // that is cancelled meanwhile has its error at once, and the load goes on.
  server_.answer(kPath, HttpTestServer::status(500, "Broken"), std::chrono::seconds(3));
  const int gets = server_.requests(kPath);
  std::atomic<bool> failed = false;
  std::jthread failing([&failed] {
    EXPECT_EQ(get_configuration(), nullptr);
    failed = true;
  });
  test::eventually([&] { return server_.requests(kPath) != gets; });
  const AsyncCalls waiting = async_calls(5);
  g_autoptr(GCancellable) impatient = g_cancellable_new();
  const AsyncCalls given_up = async_calls(1, impatient);
  g_cancellable_cancel(impatient);
  wait_for(given_up);
  EXPECT_TRUE(g_error_matches(given_up[0]->error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED));
  EXPECT_FALSE(failed) << "the cancelled caller waited for the load";
  wait_for(waiting);
  for (const auto &call : waiting) {
    EXPECT_TRUE(g_error_matches(call->error.get(), g_quark_from_static_string("HTTP"), 500));
  }
  failing.join();
  EXPECT_EQ(server_.requests(kPath), gets + 1);

  // A blocking caller among a hundred asynchronous ones: one GET, one record,
  // and the waiting ones hold no thread that the blocking one's load needs.
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\ns x\n"), std::chrono::seconds(1));
  const int saved_stderr = dup(STDERR_FILENO);
  dup2(open(home_.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDERR_FILENO);
  const auto begun = std::chrono::steady_clock::now();
  const AsyncCalls calls = async_calls(100);
  const Configuration *blocking = nullptr;
  std::thread other([&blocking] { blocking = get_configuration(); });
  wait_for(calls);
  other.join();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(20));
  const Configuration *async = calls[0]->config;
  EXPECT_EQ(get_configuration(), async);
  dup2(saved_stderr, STDERR_FILENO);
  ASSERT_NE(async, nullptr);
  kept = async;
  EXPECT_EQ(blocking, async);
  for (const auto &call : calls) {
    EXPECT_EQ(call->config, async);
  }
  EXPECT_EQ(*async->sources, StringList{"x"});
  EXPECT_EQ(server_.requests(kPath), gets + 2);
  { const ConfigurationDownload unused; }  // ends its thread though no one waits
  g_autoptr(GCancellable) cancelled = g_cancellable_new();
  g_cancellable_cancel(cancelled);  // too late to stop anything: the record is there
  EXPECT_EQ(wait_for(async_calls(1, cancelled))[0]->config, async);
  EXPECT_EQ(server_.requests(std::string(kPath) + ".minisig"), 0);  // no key, no signature asked
  const std::string err = test::read_file(home_.file("err")).value();
  EXPECT_EQ(std::count(err.begin(), err.end(), '{'), 102) << err;
}

// A run killed mid-download, as by a power cut, leaves nothing but the old copy.
TEST_F(EndToEndTest, AKilledRunLeavesTheOldCopyAlone) {
  const std::string part(12345, 'p');  // a size none of the program's other files has
  server_.answer(kPath, "HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n" + part, {},
                 HttpTestServer::kHeld);
  test::write_file(local_, "old\n");
  g_setenv("HOME", home_.path.c_str(), TRUE);
  g_autoptr(GSubprocess) run =
      g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_SILENCE, nullptr, QOR_CONFIG_TEST, nullptr);
  const std::string fds = "/proc/" + std::string(g_subprocess_get_identifier(run)) + "/fd";
  std::error_code unsized;
  test::eventually([&] {  // until the part is on disk
    return std::ranges::any_of(std::filesystem::directory_iterator(fds), [&](const auto &fd) {
      return std::filesystem::file_size(fd, unsized) == part.size();
    });
  });
  g_subprocess_force_exit(run);  // SIGKILL
  g_subprocess_wait(run, nullptr, nullptr);
  EXPECT_EQ(test::read_file(local_), "old\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_.path), {}), 1);
}

// Each case's exact standard output and error are in tests/data/e2e, with
// @URL@ for the configuration URL.
TEST_F(EndToEndTest, TheProgramAsAUserRunsIt) {
  const std::string fixture = test::read_file(QOR_TEST_DATA "/e2e.cfg").value();
  const char *debian = "Distributor ID:\tDebian\nRelease:\t12\nCodename:\tbookworm\n";
  const struct {
    std::string name;
    std::string answer;
    const char *tool;  // lsb_release's output; nullptr: no tool on PATH
    const char *release_file;
    int status;  // 0: the local copy is then the served file; 1: it stays as it was
    const char *entry_home = nullptr;  // HOME empty: the password entry's home
    const char *home = nullptr;        // HOME, where it is not home_
  } cases[] = {
      {"success", HttpTestServer::ok(fixture), debian, nullptr, 0},
      {"failed-download", HttpTestServer::status(404, "Not Found"), debian, nullptr, 1},
      {"no-codename", HttpTestServer::ok(fixture), "Distributor ID:\tDebian\n", nullptr, 0},
      {"release-file", HttpTestServer::ok(fixture), nullptr, "Fedora release 39 (Thirty Nine)\n",
       0},
      {"nothing-to-ask", HttpTestServer::ok(fixture), nullptr, nullptr, 0},
      {"entry-home", HttpTestServer::ok(fixture), debian, nullptr, 0, home_.path.c_str()},
      {"no-home", HttpTestServer::ok(fixture), debian, nullptr, 1, ""},
      {"home-not-a-folder", HttpTestServer::ok(fixture), debian, nullptr, 1, nullptr, "/dev/null"},
  };
  const char *wrapper = g_getenv("QOR_E2E_WRAPPER");
  const test::TempDir etc;
  const std::string release_file = etc.file("fedora-release");
  const std::string passwd = etc.file("passwd");
  const std::string group = etc.file("group");
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    server_.answer(kPath, c.answer);
    test::write_file(local_, "old\n");
    g_unlink((bin_.path + "/lsb_release").c_str());
    if (c.tool != nullptr) {
      test::write_tool(bin_.path, c.tool);
    }
    g_unlink(release_file.c_str());
    if (c.release_file != nullptr) {
      test::write_file(release_file, c.release_file);
    }
    g_auto(GStrv) words = g_strsplit(wrapper != nullptr ? wrapper : "", " ", -1);
    std::vector<std::string> argv(words, words + g_strv_length(words));
    argv.emplace_back(QOR_CONFIG_TEST);
    std::vector<std::string> env = {"PATH=" + bin_.path,
                                    std::string("HOME=") + (c.home ? c.home : home_.path.c_str()),
                                    "QOR_TEST_FEDORA_RELEASE=" + release_file};
    env.insert(env.end(), source_.begin(), source_.end());
    if (c.entry_home != nullptr) {
      env[1] = "HOME=";  // empty as unset: the entry's home counts, not the root
      // nss_wrapper's database; a long entry needs a second, larger buffer.
      test::write_file(passwd, "user:x:" + std::to_string(getuid()) + ":" +
                                   std::to_string(getgid()) + ":" + std::string(9000, 'r') + ":" +
                                   c.entry_home + ":/bin/sh\n");
      test::write_file(group, "group:x:" + std::to_string(getgid()) + ":\n");
      env.insert(env.end(), {"LD_PRELOAD=" QOR_NSS_WRAPPER, "NSS_WRAPPER_PASSWD=" + passwd,
                             "NSS_WRAPPER_GROUP=" + group});
    }
    if (const char *asan = g_getenv("ASAN_OPTIONS")) {  // leaks are valgrind's to find
      env.push_back(std::string("ASAN_OPTIONS=") + asan +
                    ":detect_leaks=0:verify_asan_link_order=0");
    }
    const test::Run run = test::run_program(argv, env);
    const auto expected = [&](const char *stream) {
      const std::string text = test::read_file(QOR_TEST_DATA "/e2e/" + c.name + stream).value();
      return replaced(text, "@URL@", server_.url(kPath));
    };
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, expected(".out"));
    const auto unstamped = [](const std::string &text) {  // the log's own prefix cut down
      return replaced(text, R"(\*\* \(process:\d+\): WARNING \*\*: [\d:.]+: )", "WARNING: ");
    };
    EXPECT_EQ(unstamped(run.err), expected(".err"));
    EXPECT_EQ(test::read_file(local_), c.status == 0 ? fixture : "old\n");
    EXPECT_FALSE(g_file_test("/.qor-config", G_FILE_TEST_EXISTS));
    if (c.name == "success") {  // in one stream the block still comes after the tool's note
      const std::size_t note = run.err.find('\n') + 1;
      argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1"});
      EXPECT_EQ(unstamped(test::run_program(argv, env).out),
                unstamped(run.err.substr(0, note) + run.out + run.err.substr(note)));
    }
  }
}

TEST_F(SignedCopyTest, TakesAFileOnlyWhenItsSignatureVerifies) {
  const std::vector<PublicKey> trusted = *parse_public_keys(key("a") + ";" + key("b"));
  key("unknown");
  const std::string one = "[Debian bookworm]\ns one\n";
  const std::string two = "[Debian bookworm]\ns two\n";
  std::string comment = sign("a", two, stamped("300"));
  comment.replace(comment.find("timestamp:300"), 13, "timestamp:900");
  // The mode is not signed: "ED" (prehashed) made "Ed" (legacy) by one base64
  // letter, served with the 64 bytes of the digest as the file.
  std::string relabelled = sign("a", two, stamped("300"));
  relabelled[relabelled.find('\n') + 2] = 'W';
  const FileDigest digest = hash_file(two);
  const std::string big(std::size_t{17} << 20, 'b');
  const struct {
    std::string name;
    std::string file;
    std::string signature;
    int refused;  // the code in the signature domain; 0: taken
  } cases[] = {
      {"good pair", one, sign("a", one, stamped("200")), 0},
      {"no signature", two, "", kSignatureMissing},
      {"unknown key", two, sign("unknown", two, stamped("300")), kSignatureUnknownKey},
      {"tampered file", two, sign("a", one, stamped("300")), kSignatureBadFile},
      {"tampered trusted comment", two, comment, kSignatureBadComment},
      {"malformed", two, "untrusted comment: x\nnot a signature\n", kSignatureMalformed},
      {"older than the kept one", two, sign("a", two, stamped("100")), kSignatureRollback},
      {"another file's", two, sign("a", two, stamped("300", "other.cfg")), kSignatureWrongFile},
      {"no timestamp", two, sign("a", two, {"-t", "no time here"}), kSignatureNoTimestamp},
      {"relabelled legacy, over the digest", std::string(digest.begin(), digest.end()), relabelled,
       kSignatureBadFile},
      {"legacy mode over 16 MiB", big, sign("a", big, {"-l", "-t", "timestamp:300"}),
       kSignatureBadFile},
      {"second key, as old as the kept one", two, sign("b", two, stamped("200")), 0},
      {"legacy mode", one, sign("a", one, {"-l", "-t", "timestamp:300"}), 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    serve(c.file, c.signature);
    const auto before = kept();
    const int fetched = server_.requests(kPath);
    g_autoptr(GError) error = nullptr;
    const std::optional<std::string> taken =
        download_signed(server_.url(kPath), local_, trusted, trusting_, now_, nullptr, &error);
    // What the signature alone refuses is refused before the file is fetched.
    EXPECT_EQ(server_.requests(kPath) - fetched, c.refused == 0 || c.refused == kSignatureBadFile);
    if (c.refused == 0) {
      EXPECT_EQ(taken, c.file);
      EXPECT_EQ(kept(), std::pair(std::optional(c.file), std::optional(c.signature)));
    } else {
      EXPECT_TRUE(g_error_matches(error, signature_error_quark(), c.refused))
          << (error != nullptr ? error->message : "no error");
      EXPECT_EQ(kept(), before);
    }
  }
  test::write_file(local_, two);  // a copy changed after it was taken
  EXPECT_EQ(read_signed(local_, trusted, nullptr), std::nullopt);

  // The whole load with keys, a critical fatal (G_DEBUG), reads the section.
  const Source source{server_.url(kPath), true, trusted,
                      GObjectPtr<GTlsDatabase>(test::authorities())};
  serve(two, sign("a", two, stamped("400")));
  const std::optional<Configuration> loaded =
      load_local_copy(download_local_copy(home_.path, source, nullptr), source, "[Debian bookworm]",
                      "6.1", nullptr);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded->sources, StringList{"two"});
}

// Of two loads at once, the older pair must never replace the newer one.
TEST_F(SignedCopyTest, OfTwoLoadsAtOnceTheNewerPairStays) {
  const std::vector<PublicKey> trusted = *parse_public_keys(key("a"));
  const std::string older = "[Debian bookworm]\ns older\n";
  const std::string newer = "[Debian bookworm]\ns newer\n";
  const std::string older_signature = sign("a", older, stamped("100"));
  const std::string newer_signature = sign("a", newer, stamped("200"));
  // The first load has the older signature; the server holds back its file.
  serve(older, older_signature);
  server_.answer(kPath, HttpTestServer::ok(older), std::chrono::minutes(10));
  g_autoptr(GError) error = nullptr;
  std::optional<std::string> first;
  std::jthread loading([&] {
    first = download_signed(server_.url(kPath), local_, trusted, trusting_, now_, nullptr, &error);
  });
  test::eventually([&] { return server_.requests(kPath) != 0; });  // it holds the first load's
  serve(newer, newer_signature);
  EXPECT_EQ(download_signed(server_.url(kPath), local_, trusted, trusting_, now_, nullptr, nullptr),
            newer);
  server_.release_held();
  loading.join();
  EXPECT_EQ(first, std::nullopt);
  EXPECT_TRUE(g_error_matches(error, signature_error_quark(), kSignatureRollback));
  EXPECT_EQ(kept(), std::pair(std::optional(newer), std::optional(newer_signature)));
  serve(older, older_signature);  // a later load is not given the older pair either
  EXPECT_EQ(download_signed(server_.url(kPath), local_, trusted, trusting_, now_, nullptr, nullptr),
            std::nullopt);
  EXPECT_EQ(kept(), std::pair(std::optional(newer), std::optional(newer_signature)));
}

// A lock flock(1) holds on path (-s shared, -x exclusive) until the object goes.
class HeldLock {
 public:
  HeldLock(const char *how, const std::string &path)
      : flock_(g_subprocess_new(
            GSubprocessFlags(G_SUBPROCESS_FLAGS_STDIN_PIPE | G_SUBPROCESS_FLAGS_STDOUT_PIPE),
            nullptr, "flock", "-o", how, path.c_str(), "sh", "-c", "echo held; exec cat",
            nullptr)) {
    g_autoptr(GDataInputStream) out =
        g_data_input_stream_new(g_subprocess_get_stdout_pipe(flock_.get()));
    g_autofree char *line = g_data_input_stream_read_line(out, nullptr, nullptr, nullptr);
    EXPECT_STREQ(line, "held");
  }
  ~HeldLock() {  // cat ends at the end of its input, and flock with it
    g_output_stream_close(g_subprocess_get_stdin_pipe(flock_.get()), nullptr, nullptr);
    g_subprocess_wait(flock_.get(), nullptr, nullptr);
  }
  HeldLock(const HeldLock &) = delete;
  HeldLock &operator=(const HeldLock &) = delete;

 private:
  GObjectPtr<GSubprocess> flock_;
};

// The lock that orders loads is a file that only this user can open: a lock
// anyone holds on the home folder does not matter, and one of this user's is
// waited for no longer than allowed, nor than the caller wants.
TEST_F(SignedCopyTest, OnlyThisUsersLoadsShareTheLock) {
  const std::vector<PublicKey> trusted = *parse_public_keys(key("a"));
  const std::string file = "[Debian bookworm]\ns one\n";
  serve(file, sign("a", file, stamped("100")));
  {
    const HeldLock folder("-s", home_.path);
    for (const char *load : {"put in place", "unchanged, read back"}) {
      EXPECT_EQ(
          download_signed(server_.url(kPath), local_, trusted, trusting_, now_, nullptr, nullptr),
          file)
          << load;
    }
  }
  struct stat status {};
  ASSERT_EQ(lstat(lock_path(local_).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode, S_IFREG | 0600);
  {
    const HeldLock ours("-x", lock_path(local_));
    g_autoptr(GError) busy = nullptr;
    EXPECT_FALSE(lock_copy(local_, std::chrono::milliseconds(50), nullptr, &busy));
    EXPECT_TRUE(g_error_matches(busy, G_IO_ERROR, G_IO_ERROR_BUSY));
    EXPECT_EQ(std::string(busy->message),
              "Cannot lock " + lock_path(local_) + ": another load held it for 0.05 seconds");
    g_autoptr(GCancellable) cancellable = g_cancellable_new();
    g_cancellable_cancel(cancellable);
    g_autoptr(GError) cancelled = nullptr;
    EXPECT_FALSE(lock_copy(local_, kLockWait, cancellable, &cancelled));
    EXPECT_TRUE(g_error_matches(cancelled, G_IO_ERROR, G_IO_ERROR_CANCELLED));
  }
  g_unlink(lock_path(local_).c_str());
  ASSERT_EQ(symlink(home_.file("elsewhere").c_str(), lock_path(local_).c_str()), 0);
  g_autoptr(GError) linked = nullptr;
  EXPECT_FALSE(lock_copy(local_, kLockWait, nullptr, &linked));
  EXPECT_NE(std::string(linked->message).find("symbolic link"), std::string::npos);
  EXPECT_FALSE(g_file_test(home_.file("elsewhere").c_str(), G_FILE_TEST_EXISTS));
}

// A kept signature that is there but of no use is named, and lets an older
// file in; one made with a key no longer trusted still keeps older ones out.
TEST_F(SignedCopyTest, AKeptSignatureOfNoUseIsNamed) {
  const std::vector<PublicKey> trusted = *parse_public_keys(key("a"));
  key("retired");
  const std::string file = "[Debian bookworm]\ns older\n";
  const std::string older = sign("a", file, stamped("100"));
  std::string damaged = sign("a", file, stamped("200"));
  damaged.replace(damaged.find("timestamp:200"), 13, "timestamp:900");
  const auto writes = [](std::string text) {
    return [text](const std::string &path) { test::write_file(path, text); };
  };
  const struct {
    std::string name;
    std::function<void(const std::string &path)> make;  // the kept signature
    bool named;  // a warning names the kept signature, and the older file is taken
  } cases[] = {
      {"none kept", [](const std::string &) {}, false},
      {"kept and vouched for", writes(sign("a", file, stamped("200"))), false},
      {"made with a key no longer trusted", writes(sign("retired", file, stamped("200"))), false},
      {"emptied", writes(""), true},
      {"a byte of its trusted comment changed", writes(damaged), true},
      {"larger than a signature", writes(std::string(kMaxSignatureSize + 1, 's')), true},
      {"a FIFO", [](const std::string &path) { mkfifo(path.c_str(), 0600); }, true},
      {"a link to /dev/zero", [](const std::string &path) { symlink("/dev/zero", path.c_str()); },
       true},
  };
  const std::string kept_path = local_ + ".minisig";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    g_unlink(kept_path.c_str());
    c.make(kept_path);
    serve(file, older);
    test::Warnings warnings;
    const bool taken = download_signed(server_.url(kPath), local_, trusted, trusting_, now_,
                                       nullptr, nullptr) == std::optional(file);
    EXPECT_EQ(taken, c.named || c.name == "none kept");
    EXPECT_EQ(warnings.take().find("The kept signature " + kept_path + " cannot be used") !=
                  std::string::npos,
              c.named);
  }
}

// The second of two loads of a 12 KB file, as clients make them day after
// day: what it asks for, is sent and keeps. With keys the first load's pair
// is written as a load leaves it; without, the first load keeps the copy and
// its validator. It prints the counts of docs/performance.md (HTTP's alone).
TEST_F(SignedCopyTest, AnUnchangedFileIsNotSentAgain) {
  const std::vector<PublicKey> trusted = *parse_public_keys(key("a"));
  const std::string one = "[Debian bookworm]\ns one\n" + std::string(12263, '#') + "\n";
  const std::string two = "[Debian bookworm]\ns two\n" + std::string(12263, '#') + "\n";
  const std::string kept = sign("a", one, stamped("100"));
  const std::string stale = sign("a", one, stamped("200 expires:150"));
  const std::string etag = "ETag: \"v1\"";
  const std::string unchanged = HttpTestServer::status(304, "Not Modified");
  enum Sent { kNothing, kFile, kNotModified };
  // What happens here between the loads. As root any folder can be written,
  // so only a normal user's run (the packages' build) meets a read-only home.
  enum Meddle { kNone, kCopyEdited, kCopyFifo, kCopyZeroLink, kValidatorsGrown, kHomeReadOnly };
  const std::string long_etag = "ETag: \"" + std::string(20000, 'e') + "\"";
  const struct {
    std::string name;
    std::string kept_signature, signature;  // NOLINT(readability-isolate-declaration)
    std::string validator;                  // without keys: the first load's
    Meddle meddle;
    std::string file;    // the answer to a GET, and to one that sends the validator back
    std::string if_met;  // NOLINT(readability-isolate-declaration)
    Sent sent;
    std::string copy;            // after the load
    int refused = 0;             // the code in the signature domain, or in HTTP's without keys
    bool validator_kept = true;  // without keys, by the first load
  } cases[] = {
      {"unchanged, with keys", kept, kept, "", kNone, HttpTestServer::ok(one), "", kNothing, one},
      {"changed, with keys, no expires", kept, sign("a", two, stamped("200")), "", kNone,
       HttpTestServer::ok(two), "", kFile, two},
      {"changed, not yet expired", kept, sign("a", two, stamped("200 expires:4102444800")), "",
       kNone, HttpTestServer::ok(two), "", kFile, two},
      {"changed, expired", kept, sign("a", two, stamped("200 expires:150")), "", kNone,
       HttpTestServer::ok(two), "", kNothing, one, kSignatureExpired},
      {"unchanged, expired", stale, stale, "", kNone, HttpTestServer::ok(one), "", kNothing, one,
       kSignatureExpired},
      {"unchanged, without keys", "", "", etag, kNone, HttpTestServer::ok(two), unchanged,
       kNotModified, one},
      {"unchanged, by date", "", "", "Last-Modified: Wed, 01 Jan 2025 00:00:00 GMT", kNone,
       HttpTestServer::ok(two), unchanged, kNotModified, one},
      {"changed here", "", "", etag, kCopyEdited, HttpTestServer::ok(one, etag + "\r\n"), unchanged,
       kFile, one},
      {"changed, or validators ignored", "", "", etag, kNone,
       HttpTestServer::ok(two, "ETag: \"v2\"\r\n"), "", kFile, two},
      {"a 304 with a body", "", "", etag, kNone, HttpTestServer::ok(two),
       "HTTP/1.1 304 Not Modified\r\nContent-Length: 3\r\n\r\nnew", kNotModified, one, 304},
      {"a 304 with the copy's length", "", "", etag, kNone, HttpTestServer::ok(two),
       "HTTP/1.1 304 Not Modified\r\nContent-Length: 12288\r\n\r\n", kNotModified, one},
      {"unchanged, with keys, the copy a FIFO", kept, kept, "", kCopyFifo, HttpTestServer::ok(one),
       "", kFile, one},
      {"unchanged, with keys, the copy a link to /dev/zero", kept, kept, "", kCopyZeroLink,
       HttpTestServer::ok(one), "", kFile, one},
      {"unchanged, the home read-only", "", "", etag, kHomeReadOnly, HttpTestServer::ok(two),
       unchanged, kNotModified, one},
      {"a validator file grown past 16 KiB", "", "", etag, kValidatorsGrown,
       HttpTestServer::ok(two), unchanged, kFile, two},
      {"an ETag too long to keep", "", "", long_etag, kNone, HttpTestServer::ok(two), unchanged,
       kFile, two, 0, false},
      {"an ETag with a tab", "", "", "ETag: \"a\tb\"", kNone, HttpTestServer::ok(two), unchanged,
       kFile, two, 0, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const bool keyed = !c.kept_signature.empty();
    const Source source{server_.url(kPath), keyed, keyed ? trusted : std::vector<PublicKey>{},
                        GObjectPtr<GTlsDatabase>(test::authorities())};
    const test::TempDir home;
    const std::string local = home.file(".qor-config");
    server_.answer(kPath, HttpTestServer::ok(one, c.validator + "\r\n"));
    if (keyed) {
      test::write_file(local, one);
      test::write_file(local + ".minisig", c.kept_signature);
    } else {
      ASSERT_TRUE(download_local_copy(home.path, source, nullptr).stored);
      EXPECT_EQ(g_file_test((local + ".validator").c_str(), G_FILE_TEST_EXISTS), c.validator_kept);
    }
    if (c.meddle == kCopyEdited) {
      test::write_file(local, one + "edited\n");
    } else if (c.meddle == kCopyFifo || c.meddle == kCopyZeroLink) {
      g_unlink(local.c_str());
      EXPECT_EQ(
          c.meddle == kCopyFifo ? mkfifo(local.c_str(), 0600) : symlink("/dev/zero", local.c_str()),
          0);
    } else if (c.meddle == kValidatorsGrown) {  // past the end of what is read
      std::ofstream(local + ".validator", std::ios::app)
          << "last-modified " << std::string(17000, 'x');
    } else if (c.meddle == kHomeReadOnly) {
      g_chmod(home.path.c_str(), 0500);
    }
    server_.answer(kPath, c.file);
    const std::size_t colon = std::min(c.validator.find(':'), c.validator.size());
    server_.answer_if(kPath,
                      (c.validator.starts_with("ETag") ? "If-None-Match" : "If-Modified-Since") +
                          c.validator.substr(colon),
                      c.if_met);
    server_.answer(std::string(kPath) + ".minisig", HttpTestServer::ok(c.signature));
    const HttpTestServer::Traffic file = server_.traffic(kPath), all = server_.traffic("");
    const LocalCopy copy = download_local_copy(home.path, source, nullptr);
    const HttpTestServer::Traffic now = server_.traffic("");
    const std::size_t sent[] = {0, c.file.size(), c.if_met.size()};
    EXPECT_EQ(now.requests - all.requests, (c.sent == kNothing ? 0 : 1) + (keyed ? 1 : 0));
    EXPECT_EQ(server_.traffic(kPath).sent - file.sent, sent[c.sent]);
    const GQuark domain = keyed ? signature_error_quark() : g_quark_from_static_string("HTTP");
    EXPECT_TRUE(c.refused == 0 ? copy.stored
                               : g_error_matches(copy.failure.get(), domain, c.refused));
    EXPECT_EQ(test::read_file(local), c.copy);
    EXPECT_EQ(test::read_file(local + ".minisig").value_or(""),
              c.refused == 0 ? c.signature : c.kept_signature);
    g_print("%s: %d requests, %zu bytes of request heads, %zu bytes sent\n", c.name.c_str(),
            now.requests - all.requests, now.heads - all.heads, now.sent - all.sent);
  }
  // Where the server keeps the connection open, the signature and the file share it.
  for (const auto &[path, body] :
       {std::pair{std::string(kPath), two},
        {std::string(kPath) + ".minisig", sign("a", two, stamped("300"))}}) {
    server_.answer(path, HttpTestServer::ok(body, {}, false), {}, HttpTestServer::kKeptOpen);
  }
  const int connections = server_.connections();
  EXPECT_EQ(download_signed(server_.url(kPath), local_, trusted, trusting_, now_, nullptr, nullptr),
            two);
  EXPECT_EQ(server_.connections() - connections, 1);
}

// With each server's own validators: a first load takes the file; an unchanged
// one is answered 304 with no body, or with keys fetches the signature alone; a
// changed one takes the file again. Over HTTP/2 wherever both ends speak it.
TEST_F(SignedCopyTest, EveryLoadFromTheServersPeopleRun) {
  const std::vector<PublicKey> trusted = *parse_public_keys(key("a"));
  const std::string files[] = {"[Debian bookworm]\ns one\n", "[Debian bookworm]\ns two, longer\n"};
  const std::string signatures[] = {sign("a", files[0], stamped("100")),
                                    sign("a", files[1], stamped("200"))};
  const std::string get = "GET " + std::string(kPath);
  const auto sent = [](const std::string &body) { return std::to_string(body.size()); };
  for (const auto &[config, http2] : {std::pair{"nginx.conf", "http2"},
                                      {"nginx.conf", ""},
                                      {"apache.conf", "h2"},
                                      {"apache.conf", ""}}) {
    const RealServer server(config, http2);
    const std::string protocol = *http2 != '\0' && QOR_SPEAKS_HTTP2 ? " HTTP/2.0 " : " HTTP/1.1 ";
    std::string requests;  // as the server logs them
    for (const bool keyed : {false, true}) {
      SCOPED_TRACE(std::string(config) + " " + http2 + (keyed ? " with keys" : ""));
      const test::TempDir home;
      const std::string local = home.file(".qor-config");
      const Source source{server.url() + kPath, keyed, keyed ? trusted : std::vector<PublicKey>{},
                          GObjectPtr<GTlsDatabase>(test::authorities())};
      for (const int version : {0, 0, 1, 1}) {  // the file the server has, at each load
        const bool changed = test::read_file(local) != files[version];
        if (changed) {
          server.publish(kPath, files[version]);
          server.publish(std::string(kPath) + ".minisig", signatures[version]);
        }
        EXPECT_TRUE(download_local_copy(home.path, source, nullptr).stored);
        if (keyed)
          requests += get + ".minisig" + protocol + "200 " + sent(signatures[version]) + "\n";
        if (changed) requests += get + protocol + "200 " + sent(files[version]) + "\n";
        if (!keyed && !changed) requests += get + protocol + "304 0\n";
        EXPECT_EQ(server.log(requests.size()), requests);
        EXPECT_EQ(test::read_file(local), files[version]);
        EXPECT_EQ(test::read_file(local + ".minisig"),
                  keyed ? std::optional(signatures[version]) : std::nullopt);
        // Without keys the next load's 304 shows the validators kept are the server's.
        EXPECT_EQ(parse_validators(test::read_file(local + ".validator").value_or("")).has_value(),
                  !keyed);
      }
    }
  }
}

// The proxy that the environment names, or GNOME's settings on a GNOME
// desktop, carries the load; with neither, it goes to the server itself. A
// process keeps the proxy resolver it first made, so each case is a program.
TEST_F(EndToEndTest, AProxyOfTheEnvironmentOrOfGnomeIsUsed) {
  const RealServer proxy("tinyproxy.conf");
  const std::string port = std::to_string(proxy.port());
  g_mkdir_with_parents(proxy.file("glib-2.0/settings").c_str(), 0755);
  test::write_file(proxy.file("glib-2.0/settings/keyfile"),
                   "[system/proxy]\nmode='manual'\nignore-hosts=@as []\n[system/proxy/https]\n"
                   "host='127.0.0.1'\nport=" +
                       port + "\n");
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\n"));
  for (const auto &[proxied, environment] :
       {std::pair{true, std::vector<std::string>{"https_proxy=http://127.0.0.1:" + port}},
        {true,
         {"XDG_CURRENT_DESKTOP=GNOME", "GSETTINGS_BACKEND=keyfile",
          "XDG_CONFIG_HOME=" + proxy.file("")}},
        {false, {}}}) {
    std::vector<std::string> env = {"PATH=" + bin_.path, "HOME=" + home_.path, source_[0],
                                    source_[1]};
    env.insert(env.end(), environment.begin(), environment.end());
    const std::size_t logged = proxy.log().size();
    const int gets = server_.requests(kPath);
    EXPECT_EQ(test::run_program({QOR_CONFIG_TEST}, env).status, 0) << env.back();
    EXPECT_EQ(server_.requests(kPath), gets + 1);
    const std::string tunnel = ": CONNECT " + server_.url("").substr(8) + " HTTP/1.1\n";
    EXPECT_EQ(proxy.log().find(tunnel, logged) != std::string::npos, proxied) << env.back();
  }
}

}  // namespace
}  // namespace qor
