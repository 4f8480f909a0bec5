// qor-config-check: lets the people who publish the configuration file see,
// before they upload it, what clients would warn about or silently drop, and
// what one distribution gets, and whether clients take its signature. Reads
// local files only; no network, no home.
#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qor/distro_info.hpp>
#include "base/descriptor.h"
#include "qor-config-check/checker.h"
#include "load/loader.h"
#include "signature/signature.h"
#include "signature/signature_file.h"

namespace {

constexpr int kClean = 0;
constexpr int kReported = 1;
constexpr int kTrouble = 2;  // bad usage, an unreadable file, lost output

// Flushed at once, so that in a combined stream the findings stay in order;
// the first failure is reported and the rest of the output dropped.
void write_to(FILE *stream, std::string_view text) {
  if (std::ferror(stream) == 0 &&
      (std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
       std::fflush(stream) != 0)) {
    std::perror("qor-config-check: cannot write");
  }
}

int bad_usage(std::string_view message) {
  write_to(stderr, "qor-config-check: " + std::string(message) +
                       "\nTry 'qor-config-check --help' for more.\n");
  return kTrouble;
}

int run_check(const char *file, std::string_view text) {
  const qor::CheckReport report = qor::check_configuration(text);
  for (const qor::Finding &finding : report.findings) {
    write_to(stdout, qor::format_finding(file, finding));
  }
  write_to(stdout, qor::format_summary(file, report));
  return report.problem_count() == 0 ? kClean : kReported;
}

int run_dump(const char *file, std::string_view text, const char *distributor, const char *codename,
             const char *kernel) {
  qor::DistroInfo info;
  info.distributor = distributor;
  info.codename = codename;
  const qor::DistributionView view = qor::view_distribution(
      text, qor::config_id(info), kernel != nullptr ? kernel : qor::running_kernel_release());
  write_to(stdout, view.dump);
  for (const qor::Finding &finding : view.findings) {
    write_to(stderr, qor::format_finding(file, finding));
  }
  return view.findings.empty() ? kClean : kReported;
}

// The keys given with --key, else those built in; bad usage when there are none.
std::optional<std::vector<qor::PublicKey>> choose_keys(char **given) {
  if (given == nullptr) {
    auto keys = qor::parse_public_keys(qor::build_keys());
    if (keys && !keys->empty()) {
      return keys;
    }
    bad_usage("no keys to check the signature with: give --key, or build with -DQOR_CONFIG_KEYS");
    return std::nullopt;
  }
  std::vector<qor::PublicKey> keys;
  for (char **line = given; *line != nullptr; ++line) {
    const auto key = qor::parse_public_key(*line);
    if (!key) {
      bad_usage(std::string("--key ") + *line + " is not a minisign public key (RW...)");
      return std::nullopt;
    }
    keys.push_back(*key);
  }
  return keys;
}

// Far above any real configuration file, which is some kilobytes; without a
// bound, /dev/zero or a runaway pipe would be read until memory runs out.
constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;

std::nullopt_t cannot_read(GError **error, const std::string &path, int code) {
  g_set_error(error, G_IO_ERROR, g_io_error_from_errno(code), "Cannot read %s: %s", path.c_str(),
              g_strerror(code));
  return std::nullopt;
}

// The whole of the file at path, a pipe such as /dev/stdin too, or nullopt
// with error set when it cannot be read or holds more than kMaxFileSize.
std::optional<std::string> read_configuration_file(const std::string &path, GError **error) {
  const qor::Descriptor file(open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (file.get() == -1) {
    return cannot_read(error, path, errno);
  }
  std::string text;
  std::vector<char> chunk(std::size_t{64} << 10);
  for (;;) {
    const ssize_t got = read(file.get(), chunk.data(), chunk.size());
    if (got == 0) {
      return text;
    }
    if (got == -1 && errno != EINTR) {
      return cannot_read(error, path, errno);
    }
    const std::size_t taken = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (text.size() + taken > kMaxFileSize) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_FAILED,
                  "Cannot read %s: it holds more than 256 MiB, which no configuration file does",
                  path.c_str());
      return std::nullopt;
    }
    text.append(chunk.data(), taken);
  }
}

using Reader = std::optional<std::string> (*)(const std::string &path, GError **error);

// The file at path as read reads it, or nullopt with the reason on standard
// error. A signature file is read as clients read the kept one
// (qor::read_signature_file): only a regular file, and no more of it than a
// signature holds.
std::optional<std::string> read_file(const char *path, Reader read = read_configuration_file) {
  g_autoptr(GError) error = nullptr;
  std::optional<std::string> text = read(path, &error);
  if (!text) {
    write_to(stderr, std::string("qor-config-check: ") + error->message + "\n");
  }
  return text;
}

int run_signature(const char *signature_file, std::string_view contents, char **given_keys) {
  const auto keys = choose_keys(given_keys);
  const auto signature = keys ? read_file(signature_file, qor::read_signature_file) : std::nullopt;
  if (!signature) {
    return kTrouble;
  }
  const std::int64_t now = g_get_real_time() / G_USEC_PER_SEC;
  bool refused = false;
  for (const qor::Finding &finding : qor::check_signature(contents, *signature, *keys, now)) {
    write_to(stdout, qor::format_finding(signature_file, finding));
    refused = refused || finding.is_problem();
  }
  return refused ? kReported : kClean;
}

bool parse_options(int &argc, char **&argv, const GOptionEntry *entries, GError **error) {
  g_autoptr(GOptionContext) context = g_option_context_new("FILE");
  g_option_context_set_summary(
      context,
      "Checks a configuration file before it is published, or, with --distributor and\n"
      "--codename, prints the dump that qor-config-test prints on such a system, or,\n"
      "with --signature, tells whether clients take FILE with that signature.\n"
      "Exit status: 0 nothing reported, 1 something reported, 2 bad usage, unreadable\n"
      "FILE or lost output.\n"
      "See qor-config-check(1).");
  g_option_context_add_main_entries(context, entries, nullptr);
  return g_option_context_parse(context, &argc, &argv, error) != FALSE;
}

// What is wrong with the options taken together, or nullptr.
const char *usage_problem(char **files, const char *distributor, const char *codename,
                          const char *kernel, const char *signature, char **keys) {
  if (files == nullptr || g_strv_length(files) != 1) {
    return "expected exactly one FILE";
  }
  if ((distributor == nullptr) != (codename == nullptr)) {
    return "--distributor and --codename go together";
  }
  if (kernel != nullptr && distributor == nullptr) {
    return "--kernel needs --distributor and --codename";
  }
  if (signature != nullptr && distributor != nullptr) {
    return "--signature does not go with --distributor";
  }
  if (keys != nullptr && signature == nullptr) {
    return "--key needs --signature";
  }
  return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
  // A reader that goes away is lost output like any other: the write fails
  // with EPIPE and is reported, rather than the signal killing us unheard.
  (void)std::signal(SIGPIPE, SIG_IGN);
  // GLib's messages in the user's language where it has them.
  (void)std::setlocale(LC_ALL, "");
  // Names are taken as raw bytes, as the loader compares them, whatever the
  // locale's character set: hence the file-name argument type.
  g_autofree char *distributor = nullptr;
  g_autofree char *codename = nullptr;
  g_autofree char *kernel = nullptr;
  g_autofree char *signature = nullptr;
  g_auto(GStrv) keys = nullptr;
  g_auto(GStrv) files = nullptr;
  const GOptionEntry entries[] = {
      {"distributor", 0, 0, G_OPTION_ARG_FILENAME, &distributor,
       "Print the dump for this distributor (as lsb_release -i gives it)", "NAME"},
      {"codename", 0, 0, G_OPTION_ARG_FILENAME, &codename,
       "With --distributor: the codename (as lsb_release -c gives it)", "NAME"},
      {"kernel", 0, 0, G_OPTION_ARG_FILENAME, &kernel,
       "Decide k lines against this kernel release instead of the running one", "RELEASE"},
      {"signature", 0, 0, G_OPTION_ARG_FILENAME, &signature,
       "Tell whether clients take FILE with this minisign signature", "FILE.minisig"},
      {"key", 0, 0, G_OPTION_ARG_STRING_ARRAY, &keys,
       "With --signature: check with this public key (RW...), not the built-in ones; repeatable",
       "KEY"},
      {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &files, nullptr, nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
  g_autoptr(GError) error = nullptr;
  if (!parse_options(argc, argv, entries, &error)) {
    return bad_usage(error->message);
  }
  if (const char *problem = usage_problem(files, distributor, codename, kernel, signature, keys)) {
    return bad_usage(problem);
  }
  const std::optional<std::string> contents = read_file(files[0]);
  if (!contents) {
    return kTrouble;
  }
  const int status = signature != nullptr ? run_signature(signature, *contents, keys)
                     : distributor != nullptr
                         ? run_dump(files[0], *contents, distributor, codename, kernel)
                         : run_check(files[0], *contents);
  // A report that did not reach its reader is no clean run.
  return std::ferror(stdout) != 0 || std::ferror(stderr) != 0 ? kTrouble : status;
}
