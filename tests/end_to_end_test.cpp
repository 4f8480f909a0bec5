// The whole road against HTTPS servers on loopback, the tests' own
// (support/end_to_end.h) and Debian's (support/real_server.h); the program
// runs under QOR_E2E_WRAPPER (such as valgrind) when that is set.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <thread>

#include <qor/distro_info.hpp>
#include "load/copy_lock.h"
#include "load/local_copy.h"
#include "load/validated_copy.h"
#include "qor-config-test/early_download.h"
#include "support/end_to_end.h"
#include "support/real_server.h"

namespace qor::test {
namespace {

Source source_of(const std::string &url, const std::vector<PublicKey> &keys = {}) {
  return {url, !keys.empty(), keys, GObjectPtr<GTlsDatabase>(authorities())};
}

// get_configuration_async calls and what came back to each.
struct AsyncCall {
  bool done = false;
  const Configuration *config = nullptr;
  GErrorPtr error;
  bool cancelled() const { return g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED); }
};
using AsyncCalls = std::deque<AsyncCall>;

AsyncCalls async_calls(int count, GCancellable *cancellable = nullptr) {
  AsyncCalls calls(count);
  for (AsyncCall &call : calls) {
    get_configuration_async(
        cancellable,
        [](GObject *, GAsyncResult *result, gpointer data) {
          EXPECT_TRUE(g_main_context_is_owner(g_main_context_default()));  // in our main loop
          auto *answered = static_cast<AsyncCall *>(data);
          GError *failure = nullptr;
          answered->config = get_configuration_finish(result, &failure);
          answered->error.reset(failure);
          answered->done = true;
        },
        &call);
  }
  return calls;
}

const AsyncCalls &wait_for(const AsyncCalls &calls) {
  for (const AsyncCall &call : calls) {
    while (!call.done) g_main_context_iteration(nullptr, TRUE);
  }
  return calls;
}

// Runs a shell command of a table's row, where there is one, in folder.
void sh(const std::string &command, const std::string &folder) {
  if (command.empty()) return;
  const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "S=" QOR_TEST_DATA "/signed"};
  EXPECT_EQ(run_program({"/bin/sh", "-c", command}, env, folder.c_str()).status, 0) << command;
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
  write_tool(bin_.path, "Distributor ID:\tDebian\nCodename:\tbookworm\n");
  write_file(local_, "old\n");
  // Cancelled before any load: at once, and nothing is asked.
  g_autoptr(GCancellable) cancelled = g_cancellable_new();
  g_cancellable_cancel(cancelled);
  EXPECT_TRUE(wait_for(async_calls(1, cancelled))[0].cancelled());
  EXPECT_EQ(server_.requests(kPath), 0);
  ConfigurationDownload early;  // the server answers 404
  EXPECT_EQ(get_configuration(early), nullptr);
  EXPECT_EQ(get_configuration(early), nullptr);  // downloads anew
  // Cancelled while the server holds back its answer: at once; then again.
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\n"), std::chrono::seconds(30));
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  const std::jthread canceller([this, &cancellable] {
    eventually([&] { return server_.requests(kPath) == 3; });  // the server holds it
    g_cancellable_cancel(cancellable);
  });
  const auto start = std::chrono::steady_clock::now();
  const AsyncCalls cancelled_load = async_calls(1, cancellable);
  EXPECT_TRUE(wait_for(cancelled_load)[0].cancelled());
  EXPECT_EQ(cancelled_load[0].config, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(read_file(local_), "old\n");

  // Callers that wait for a failing load share its failure, from one GET; one
  // that is cancelled meanwhile has its error at once, and the load goes on.
  server_.answer(kPath, HttpTestServer::status(500, "Broken"), std::chrono::seconds(3));
  std::atomic<bool> failed = false;
  std::jthread failing([&failed] {
    EXPECT_EQ(get_configuration(), nullptr);
    failed = true;
  });
  eventually([&] { return server_.requests(kPath) == 4; });
  const AsyncCalls waiting = async_calls(5);
  g_autoptr(GCancellable) impatient = g_cancellable_new();
  const AsyncCalls given_up = async_calls(1, impatient);
  g_cancellable_cancel(impatient);
  EXPECT_TRUE(wait_for(given_up)[0].cancelled());
  EXPECT_FALSE(failed) << "the cancelled caller waited for the load";
  for (const AsyncCall &call : wait_for(waiting)) {
    EXPECT_TRUE(g_error_matches(call.error.get(), g_quark_from_static_string("HTTP"), 500));
  }
  failing.join();
  EXPECT_EQ(server_.requests(kPath), 4);

  // A blocking caller among a hundred asynchronous ones: one GET, one record,
  // and the waiting ones hold no thread that the blocking one's load needs.
  // Those cancelled once the load has ended still get the record.
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\ns x\n"), std::chrono::seconds(1));
  const int saved_stderr = dup(STDERR_FILENO);
  dup2(open(home_.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDERR_FILENO);
  const auto begun = std::chrono::steady_clock::now();
  g_autoptr(GCancellable) late = g_cancellable_new();
  const AsyncCalls calls = async_calls(100, late);
  const Configuration *blocking = nullptr;
  std::thread([&blocking] { blocking = get_configuration(); }).join();
  g_cancellable_cancel(late);
  wait_for(calls);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(20));
  EXPECT_EQ(get_configuration(), blocking);
  // Too late to stop anything: the record is there.
  EXPECT_EQ(wait_for(async_calls(1, cancelled))[0].config, blocking);
  dup2(saved_stderr, STDERR_FILENO);
  ASSERT_NE(blocking, nullptr);
  kept = blocking;
  for (const AsyncCall &call : calls) {
    EXPECT_EQ(call.config, blocking);
  }
  EXPECT_EQ(*blocking->sources, StringList{"x"});
  EXPECT_EQ(server_.requests(kPath), 5);
  { const ConfigurationDownload unused; }  // ends its thread though no one waits
  EXPECT_EQ(server_.requests(kPath + ".minisig"), 0);  // no key, no signature asked
  const std::string err = read_file(home_.file("err")).value();
  EXPECT_EQ(std::count(err.begin(), err.end(), '{'), 103) << err;
}

TEST_F(EndToEndTest, AKilledRunLeavesTheOldCopyAlone) {
  const std::string part(12345, 'p');  // a size none of the program's other files has
  server_.answer(kPath, "HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n" + part, {},
                 HttpTestServer::kKeptOpen);
  write_file(local_, "old\n");
  g_setenv("HOME", home_.path.c_str(), TRUE);
  g_autoptr(GSubprocess) run =
      g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_SILENCE, nullptr, QOR_CONFIG_TEST, nullptr);
  const std::string fds = "/proc/" + std::string(g_subprocess_get_identifier(run)) + "/fd";
  std::error_code unsized;
  eventually([&] {  // until the part is on disk
    return std::ranges::any_of(std::filesystem::directory_iterator(fds), [&](const auto &fd) {
      return std::filesystem::file_size(fd, unsized) == part.size();
    });
  });
  g_subprocess_force_exit(run);  // SIGKILL
  g_subprocess_wait(run, nullptr, nullptr);
  EXPECT_EQ(read_file(local_), "old\n");
  EXPECT_EQ(entries(home_.path), 1);
}

// The copy can be neither put in place, its folder moved away while the file
// arrives, nor read back once a read of it fails (EIO, as a failing disk gives).
TEST_F(EndToEndTest, ACopyNotStoredOrNotReadFailsTheLoad) {
  const std::string home = home_.file("home"), moved = home_.file("moved");
  g_mkdir(home.c_str(), 0700);
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\ns x\n"), std::chrono::minutes(1));
  const std::jthread mover([&] {
    eventually([&] { return server_.requests(kPath) == 1; });
    g_rename(home.c_str(), moved.c_str());
    server_.release_held();
  });
  const Source source = source_of(server_.url(kPath));
  const LocalCopy copy = download_local_copy(home, source, nullptr);
  EXPECT_FALSE(copy.stored);
  EXPECT_EQ(outcome(copy.failure.get()),
            "G_IO_ERROR_NOT_FOUND Cannot put the new file in place at " + home +
                "/.qor-config: No such file or directory");
  EXPECT_EQ(entries(moved), 0);
  g_autoptr(GError) error = nullptr;
  EXPECT_FALSE(load_local_copy({"/proc/self/mem", true, {}, {}}, source, "[Debian bookworm]", "6.1",
                               &error));
  EXPECT_EQ(outcome(error), "G_IO_ERROR_FAILED Error reading from file: Input/output error");
}

// The runs of tests/data/e2e/cases, each with its exact outputs there.
TEST_F(EndToEndTest, TheProgramAsAUserRunsIt) {
  const std::string fixture = read_file(QOR_TEST_DATA "/e2e.cfg").value();
  const char *wrapper = g_getenv("QOR_E2E_WRAPPER");
  const TempDir etc;
  const std::string release_file = etc.file("fedora-release"), passwd = etc.file("passwd");
  const std::string gid = std::to_string(getgid());
  write_file(etc.file("group"), "group:x:" + gid + ":\n");
  for (auto [name, answer, tool, release, home, entry, status, shell] : rows<8>("e2e/cases")) {
    SCOPED_TRACE(name);
    server_.answer(kPath, answer == "404" ? HttpTestServer::status(404, "Not Found")
                                          : HttpTestServer::ok(fixture));
    write_file(local_, "old\n");
    g_unlink((bin_.path + "/lsb_release").c_str());
    g_unlink(release_file.c_str());
    if (!tool.empty()) write_tool(bin_.path, tool);
    if (!release.empty()) write_file(release_file, release);
    g_auto(GStrv) words = g_strsplit(wrapper != nullptr ? wrapper : "", " ", -1);
    std::vector<std::string> argv(words, words + g_strv_length(words));
    argv.emplace_back(QOR_CONFIG_TEST);
    if (!shell.empty()) argv.insert(argv.begin(), {"/bin/sh", "-c", shell});
    std::vector<std::string> env = environment({"QOR_TEST_FEDORA_RELEASE=" + release_file});
    env[1] = "HOME=" + replaced(home, "@HOME@", home_.path);
    if (home.empty()) {  // nss_wrapper's database; a long entry needs a larger buffer
      const std::string who = std::to_string(getuid() + (entry == "none" ? 1 : 0));
      write_file(passwd, "user:x:" + who + ":" + gid + ":" + std::string(9000, 'r') + ":" +
                             replaced(entry, "@HOME@", home_.path) + ":/bin/sh\n");
      env.insert(env.end(), {"LD_PRELOAD=" QOR_NSS_WRAPPER, "NSS_WRAPPER_PASSWD=" + passwd,
                             "NSS_WRAPPER_GROUP=" + etc.file("group")});
    }
    const test::Run run = run_program(argv, env);
    for (const auto &[stream, text] : {std::pair{".out", run.out}, {".err", run.err}}) {
      const std::string expected = read_file(QOR_TEST_DATA "/e2e/" + name + stream).value();
      // The log's own prefix cut down.
      EXPECT_EQ(replaced(text, R"(\*\* \(process:\d+\): WARNING \*\*: [\d:.]+: )", "WARNING: "),
                replaced(expected, "@URL@", server_.url(kPath)))
          << stream;
    }
    EXPECT_EQ(run.status, std::stoi(status));
    EXPECT_EQ(read_file(local_), status == "0" ? fixture : "old\n");
    EXPECT_FALSE(g_file_test("/.qor-config", G_FILE_TEST_EXISTS));
  }
}

// The loads of tests/data/signed/takes, then copies read back and a whole load.
TEST_F(SignedCopyTest, TakesAFileOnlyWhenItsSignatureVerifies) {
  trusted_ = *parse_public_keys(key("a") + ";" + key("b"));
  for (const auto &[name, before_load, file_name, signature_name, room, fetched, failure, named] :
       rows<8>("signed/takes")) {
    SCOPED_TRACE(name);
    sh(before_load, home_.path);
    const std::string file =
        file_name == "big" ? std::string(std::size_t{17} << 20, 'b') : signed_data(file_name);
    const std::string sig = signature_name.empty() ? "" : signature(signature_name);
    serve(file, sig);
    const auto before = kept();
    const int gets = server_.requests(kPath);
    Warnings warnings;
    g_autoptr(GError) error = nullptr;
    const ScopedLimit disk(RLIMIT_FSIZE, room.empty() ? RLIM_INFINITY : std::stoul(room));
    const bool taken = download(&error) == file;
    EXPECT_EQ(server_.requests(kPath) - gets, fetched == "yes" ? 1 : 0);
    EXPECT_EQ(taken, failure.empty());
    EXPECT_EQ(kept(), taken ? std::pair(std::optional(file), std::optional(sig)) : before);
    EXPECT_EQ(outcome(error),
              replaced(replaced(failure, "@LOCAL@", local_), "@URL@", server_.url(kPath)));
    EXPECT_EQ(warnings.text.find("The kept signature " + local_ + ".minisig cannot be used") !=
                  std::string::npos,
              named == "yes");
  }
  // The pair and its lock, nothing beside them: no file where the lock's link pointed.
  EXPECT_EQ(entries(home_.path), 3);
  // Read back, a copy changed after it was taken, or without its signature.
  write_file(local_, two_);
  EXPECT_EQ(read_signed(local_, trusted_, nullptr), std::nullopt);
  g_unlink((local_ + ".minisig").c_str());
  EXPECT_EQ(read_signed(local_, trusted_, nullptr), std::nullopt);

  // The whole load with keys, a critical fatal (G_DEBUG), reads the section.
  const Source source = source_of(server_.url(kPath), trusted_);
  serve(two_, signature("two-a-300"));
  const std::optional<Configuration> loaded =
      load_local_copy(download_local_copy(home_.path, source, nullptr), source, "[Debian bookworm]",
                      "6.1", nullptr);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded->sources, StringList{"two"});
  // A home that no one can write, root included, fails before the file is asked for.
  const int gets = server_.requests(kPath);
  g_autoptr(GError) unwritable = nullptr;
  EXPECT_FALSE(download_signed(server_.url(kPath), "/sys/.qor-config", trusted_, trusting_, now_,
                               nullptr, &unwritable));
  EXPECT_TRUE(g_str_has_prefix(unwritable->message, "Cannot make a temporary file in /sys: "));
  EXPECT_EQ(server_.requests(kPath), gets);
}

TEST_F(SignedCopyTest, OfTwoLoadsAtOnceTheNewerPairStays) {
  const std::string older = signature("one-a-100"), newer = signature("two-a-200");
  // The first load has the older signature; the server holds back its file.
  serve(one_, older);
  server_.answer(kPath, HttpTestServer::ok(one_), std::chrono::minutes(10));
  g_autoptr(GError) error = nullptr;
  std::optional<std::string> first;
  std::jthread loading([&] { first = download(&error); });
  eventually([&] { return server_.requests(kPath) != 0; });  // it holds the first load's
  serve(two_, newer);
  EXPECT_EQ(download(), two_);
  server_.release_held();
  loading.join();
  EXPECT_EQ(first, std::nullopt);
  EXPECT_TRUE(g_error_matches(error, signature_error_quark(), kSignatureRollback));
  const auto pair = std::pair(std::optional(two_), std::optional(newer));
  EXPECT_EQ(kept(), pair);
  serve(one_, older);  // a later load is not given the older pair either
  EXPECT_EQ(download(), std::nullopt);
  EXPECT_EQ(kept(), pair);
}

// The lock that orders loads is a file that only this user can open (its
// other kinds are rows of signed/takes): a lock anyone holds on the home
// folder does not matter, and one of this user's is waited for no longer than
// allowed, nor than the caller wants. One that others could open is closed.
TEST_F(SignedCopyTest, OnlyThisUsersLoadsShareTheLock) {
  const std::string lock = lock_path(local_);
  write_file(lock, "", 0644);  // as another program may leave it, open to all
  serve(one_, signature("one-a-100"));
  {  // flock's locks belong to an open file: these are as another program's
    const Descriptor folder(open(home_.path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(flock(folder.get(), LOCK_SH), 0);
    EXPECT_EQ(download(), one_) << "put in place";
    EXPECT_EQ(download(), one_) << "unchanged, read back";
  }
  struct stat status {};
  ASSERT_EQ(lstat(lock.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode, S_IFREG | 0600);
  {
    const Descriptor ours(open(lock.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(flock(ours.get(), LOCK_EX), 0);
    g_autoptr(GError) busy = nullptr;
    EXPECT_FALSE(lock_copy(local_, std::chrono::milliseconds(50), nullptr, &busy));
    EXPECT_EQ(outcome(busy),
              "G_IO_ERROR_BUSY Cannot lock " + lock + ": another load held it for 0.05 seconds");
    g_autoptr(GCancellable) cancellable = g_cancellable_new();
    const std::jthread canceller([&cancellable] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // while it waits
      g_cancellable_cancel(cancellable);
    });
    g_autoptr(GError) cancelled = nullptr;
    EXPECT_FALSE(lock_copy(local_, kLockWait, cancellable, &cancelled));
    EXPECT_TRUE(g_error_matches(cancelled, G_IO_ERROR, G_IO_ERROR_CANCELLED));
  }
  // Making the lock file fails: for want of rights (as in /sys), on a read-only
  // file system, or for want of room, which is no reason to go unlocked.
  for (const auto &[code, failure] :
       {std::pair{EACCES, ""}, {EPERM, ""}, {EROFS, ""}, {ENOSPC, ": No space left on device"}}) {
    g_autoptr(GError) error = nullptr;
    const bool unlocked = on_a_thread(code, O_CREAT, [&] {
      const std::optional<Descriptor> none = lock_copy(local_, kLockWait, nullptr, &error);
      return none && none->get() == -1;
    });
    EXPECT_EQ(unlocked, *failure == '\0');
    EXPECT_EQ(error ? error->message : "", *failure == '\0' ? "" : "Cannot lock " + lock + failure);
  }
}

// The reloads of tests/data/signed/reloads. It prints the counts of
// docs/performance.md (HTTP's alone).
TEST_F(SignedCopyTest, AnUnchangedFileIsNotSentAgain) {
  for (auto [name, kept, sig, validator, meddle, answer, if_met, sent, refused, keeps] :
       rows<10>("signed/reloads")) {
    SCOPED_TRACE(name);
    const bool keyed = !kept.empty();
    const Source source =
        source_of(server_.url(kPath), keyed ? trusted_ : std::vector<PublicKey>{});
    const TempDir home;
    const std::string local = home.file(".qor-config"), validators = local + ".validator";
    validator = replaced(replaced(validator, "@LONG@", std::string(20000, 'e')), "@FITS@",
                         std::string(16240, 'e'));
    server_.answer(kPath, HttpTestServer::ok(one_, validator + "\r\n"));
    if (keyed) {
      write_file(local, one_);
      write_file(local + ".minisig", signature(kept));
    } else {
      ASSERT_TRUE(download_local_copy(home.path, source, nullptr).stored);
      EXPECT_EQ(g_file_test(validators.c_str(), G_FILE_TEST_EXISTS), keeps != "no");
    }
    sh(meddle, home.path);
    const std::size_t plus = answer.find(" + ");
    const std::string body = answer.starts_with("one") ? one_ : two_;
    answer =
        HttpTestServer::ok(body, plus == std::string::npos ? "" : answer.substr(plus + 3) + "\r\n");
    if (if_met == "304") if_met = HttpTestServer::status(304, "Not Modified");
    server_.answer(kPath, answer);
    const std::size_t colon = std::min(validator.find(':'), validator.size());
    server_.answer_if(kPath,
                      (validator.starts_with("ETag") ? "If-None-Match" : "If-Modified-Since") +
                          validator.substr(colon),
                      if_met);
    server_.answer(kPath + ".minisig", HttpTestServer::ok(keyed ? signature(sig) : ""));
    const HttpTestServer::Traffic file = server_.traffic(kPath), all = server_.traffic("");
    const LocalCopy copy = download_local_copy(home.path, source, nullptr);
    const HttpTestServer::Traffic now = server_.traffic("");
    EXPECT_EQ(now.requests - all.requests, (sent == "nothing" ? 0 : 1) + (keyed ? 1 : 0));
    EXPECT_EQ(server_.traffic(kPath).sent - file.sent, sent == "file"  ? answer.size()
                                                       : sent == "304" ? if_met.size()
                                                                       : 0);
    EXPECT_EQ(copy.stored, refused.empty());
    EXPECT_EQ(outcome(copy.failure.get()).substr(0, refused.size()), refused);
    EXPECT_EQ(read_file(local), sent == "file" ? body : one_);
    EXPECT_EQ(read_file(local + ".minisig").value_or(""),
              !keyed ? "" : signature(refused.empty() ? sig : kept));
    g_print("%s: %d requests, %zu bytes of request heads, %zu bytes sent\n", name.c_str(),
            now.requests - all.requests, now.heads - all.heads, now.sent - all.sent);
  }
  // Where the server keeps the connection open, the signature and the file share it.
  for (const auto &[path, body] :
       {std::pair{kPath, two_}, {kPath + ".minisig", signature("two-a-300")}}) {
    server_.answer(path, HttpTestServer::ok(body, {}, false), {}, HttpTestServer::kKeptOpen);
  }
  const int connections = server_.connections();
  EXPECT_EQ(download(), two_);
  EXPECT_EQ(server_.connections() - connections, 1);
}

// With each server's own validators: a first load takes the file; an unchanged
// one is answered 304 with no body, or with keys fetches the signature alone; a
// changed one takes the file again. Over HTTP/2 wherever both ends speak it.
TEST_F(SignedCopyTest, EveryLoadFromTheServersPeopleRun) {
  // Of two sizes: a file renamed into place in the same second with the same
  // size gets the same ETag from nginx.
  const std::string files[] = {signed_data("small.cfg"), one_};
  const std::string signatures[] = {signature("small-a-300"), signature("one-a-300")};
  const std::string get = "GET " + kPath;
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
      const TempDir home;
      const std::string local = home.file(".qor-config");
      const Source source =
          source_of(server.url() + kPath, keyed ? trusted_ : std::vector<PublicKey>{});
      for (const int version : {0, 0, 1, 1}) {  // the file the server has, at each load
        const bool changed = read_file(local) != files[version];
        if (changed) {
          server.publish(kPath, files[version]);
          server.publish(kPath + ".minisig", signatures[version]);
        }
        EXPECT_TRUE(download_local_copy(home.path, source, nullptr).stored);
        if (keyed)
          requests += get + ".minisig" + protocol + "200 " + sent(signatures[version]) + "\n";
        if (changed) requests += get + protocol + "200 " + sent(files[version]) + "\n";
        if (!keyed && !changed) requests += get + protocol + "304 0\n";
        EXPECT_EQ(server.log(requests.size()), requests);
        EXPECT_EQ(read_file(local), files[version]);
        EXPECT_EQ(read_file(local + ".minisig"),
                  keyed ? std::optional(signatures[version]) : std::nullopt);
        // Without keys the next load's 304 shows the validators kept are the server's.
        EXPECT_EQ(parse_validators(read_file(local + ".validator").value_or("")).has_value(),
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
  const std::string keyfile = read_file(QOR_TEST_DATA "/servers/gnome-proxy").value();
  g_mkdir_with_parents(proxy.file("glib-2.0/settings").c_str(), 0755);
  write_file(proxy.file("glib-2.0/settings/keyfile"), replaced(keyfile, "@PORT@", port));
  server_.answer(kPath, HttpTestServer::ok("[Debian bookworm]\n"));
  for (const auto &[proxied, more] :
       {std::pair{true, std::vector<std::string>{"https_proxy=http://127.0.0.1:" + port}},
        {true,
         {"XDG_CURRENT_DESKTOP=GNOME", "GSETTINGS_BACKEND=keyfile",
          "XDG_CONFIG_HOME=" + proxy.file("")}},
        {false, {}}}) {
    SCOPED_TRACE(more.empty() ? "neither" : more[0]);
    const std::size_t logged = proxy.log().size();
    const int gets = server_.requests(kPath);
    EXPECT_EQ(run_program({QOR_CONFIG_TEST}, environment(more)).status, 0);
    EXPECT_EQ(server_.requests(kPath), gets + 1);
    const std::string tunnel = ": CONNECT " + server_.url("").substr(8) + " HTTP/1.1\n";
    EXPECT_EQ(proxy.log().find(tunnel, logged) != std::string::npos, proxied);
  }
}

}  // namespace
}  // namespace qor::test
