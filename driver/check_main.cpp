// qor-config-check: lets the people who publish the configuration file see,
// before they upload it, what clients would warn about or silently drop, and
// what one distribution gets. Reads one local file; no network, no home.
#include <glib.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/checker.h"
#include "config/loader.h"
#include "distro/distro_info.h"

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
  g_auto(GStrv) files = nullptr;
  const GOptionEntry entries[] = {
      {"distributor", 0, 0, G_OPTION_ARG_FILENAME, &distributor,
       "Print the dump for this distributor (as lsb_release -i gives it)", "NAME"},
      {"codename", 0, 0, G_OPTION_ARG_FILENAME, &codename,
       "With --distributor: the codename (as lsb_release -c gives it)", "NAME"},
      {"kernel", 0, 0, G_OPTION_ARG_FILENAME, &kernel,
       "Decide k lines against this kernel release instead of the running one", "RELEASE"},
      {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &files, nullptr, nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
  g_autoptr(GOptionContext) context = g_option_context_new("FILE");
  g_option_context_set_summary(
      context,
      "Checks a configuration file before it is published, or, with --distributor and\n"
      "--codename, prints the dump that qor-config-test prints on such a system.\n"
      "Exit status: 0 nothing reported, 1 something reported, 2 bad usage, unreadable\n"
      "FILE or lost output.\n"
      "See qor-config-check(1).");
  g_option_context_add_main_entries(context, entries, nullptr);
  g_autoptr(GError) error = nullptr;
  if (!g_option_context_parse(context, &argc, &argv, &error)) {
    return bad_usage(error->message);
  }
  if (files == nullptr || g_strv_length(files) != 1) {
    return bad_usage("expected exactly one FILE");
  }
  if ((distributor == nullptr) != (codename == nullptr)) {
    return bad_usage("--distributor and --codename go together");
  }
  if (kernel != nullptr && distributor == nullptr) {
    return bad_usage("--kernel needs --distributor and --codename");
  }
  g_autofree char *text = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(files[0], &text, &length, &error)) {
    write_to(stderr, std::string("qor-config-check: ") + error->message + "\n");
    return kTrouble;
  }
  const std::string_view contents(text, length);
  const int status = distributor != nullptr
                         ? run_dump(files[0], contents, distributor, codename, kernel)
                         : run_check(files[0], contents);
  // A report that did not reach its reader is no clean run.
  return std::ferror(stdout) != 0 || std::ferror(stderr) != 0 ? kTrouble : status;
}
