// qor-config-check: lets the people who publish the configuration file see,
// before they upload it, what clients would warn about or silently drop, and
// what one distribution gets. Reads one local file; no network, no home.
#include <glib.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/parser.h"
#include "driver/checker.h"

namespace {

constexpr int kClean = 0;
constexpr int kReported = 1;
constexpr int kBadUsage = 2;

constexpr char kSummary[] =
    "Checks a configuration file before it is published: lists every section header with its\n"
    "line and reports each line that clients would warn about or silently drop. With\n"
    "--distributor and --codename it prints instead the dump that qor-config-test prints on such\n"
    "a system.";

constexpr char kDescription[] =
    "Without --distributor, standard output gets one line per section header and one per\n"
    "problem, as FILE:LINE: message: lines the parser does not recognise, k lines that are no\n"
    "kernel range or whose range holds no kernel, headers that occur again (clients read only\n"
    "the first), lines beginning with \"[\" that have no \"]\", text outside any section (a\n"
    "section ends at its first empty line; empty lines, blank lines and # comments outside\n"
    "sections are fine), CR LF line ends and NUL bytes (each once per file). The line nested\n"
    "in a k line is checked whatever its range, as if the running kernel lay inside it.\n"
    "\n"
    "With --distributor and --codename, standard output gets exactly the record dump that\n"
    "qor-config-test prints for the section [DISTRIBUTOR CODENAME] with that kernel (default:\n"
    "the running one); the problems of that section, or its absence, go to standard error.\n"
    "\n"
    "Exit status: 0 when nothing was reported, 1 when something was, 2 for bad usage or a file\n"
    "that cannot be read.";

void write_to(FILE *stream, std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
    std::perror("qor-config-check: cannot write");
  }
}

int bad_usage(std::string_view message) {
  std::string text = "qor-config-check: ";
  text += message;
  text += "\nTry 'qor-config-check --help' for more.\n";
  write_to(stderr, text);
  return kBadUsage;
}

int run_check(const char *file, std::string_view text) {
  const qor::CheckReport report = qor::check_configuration(text);
  for (const qor::Finding &finding : report.findings) {
    write_to(stdout, qor::format_finding(file, finding));
  }
  const std::size_t problems = report.problem_count();
  const std::size_t sections = report.sections.size();
  write_to(stdout, std::string(file) + ": " + std::to_string(sections) +
                       (sections == 1 ? " section, " : " sections, ") + std::to_string(problems) +
                       (problems == 1 ? " problem\n" : " problems\n"));
  return problems == 0 ? kClean : kReported;
}

int run_dump(const char *file, std::string_view text, const char *distributor, const char *codename,
             const char *kernel) {
  qor::DistroInfo info;
  info.distributor = distributor;
  info.codename = codename;
  info.valid = true;
  const std::string_view release = kernel != nullptr ? kernel : qor::running_kernel_release();
  const qor::DistributionView view = qor::view_distribution(text, info, release);
  write_to(stdout, view.dump);
  for (const qor::Finding &finding : view.findings) {
    write_to(stderr, qor::format_finding(file, finding));
  }
  return view.findings.empty() ? kClean : kReported;
}

}  // namespace

int main(int argc, char **argv) {
  // GLib's messages in the user's language where it has them; the C locale
  // is fine where the user's cannot be had.
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
  g_option_context_set_summary(context, kSummary);
  g_option_context_set_description(context, kDescription);
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
    return kBadUsage;
  }
  const std::string_view contents(text, length);
  return distributor != nullptr ? run_dump(files[0], contents, distributor, codename, kernel)
                                : run_check(files[0], contents);
}
