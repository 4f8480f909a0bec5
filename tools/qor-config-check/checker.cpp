#include "qor-config-check/checker.h"

#include <glib.h>

#include <algorithm>
#include <map>
#include <utility>

#include "base/line_reader.h"
#include "config/kernel_range.h"
#include "config/parser.h"
#include "config/section.h"

namespace qor {

namespace {

// No publisher nests ranges this deep on purpose.
constexpr int kMaxKernelRangeDepth = 16;

// Checks each link of a chain of kernel ranges, then the line the chain
// leads to, as if every kernel lay inside every range.
void check_instruction(std::string_view line, std::size_t number, std::vector<Finding> &out) {
  std::string_view innermost = line;
  if (line.starts_with('k')) {
    KernelRangeChain chain(line);
    for (int depth = 0;; ++depth) {
      const std::optional<KernelRange> &range = chain.range();
      if (depth == kMaxKernelRangeDepth) {
        out.push_back({number, FindingKind::kDeepKernelRange,
                       "kernel ranges nested more than " + std::to_string(kMaxKernelRangeDepth) +
                           " deep: the rest of the line is not checked"});
        return;
      }
      if (!range) {
        out.push_back({number, FindingKind::kNoKernelRange,
                       "k line value \"" + std::string(chain.value()) +
                           "\" is not \"LOWER UPPER LINE\": clients ignore the line"});
        return;
      }
      if (compare_versions(range->lower, range->upper) >= 0) {
        out.push_back(
            {number, FindingKind::kEmptyKernelRange,
             "kernel range " + std::string(range->lower) + " to " + std::string(range->upper) +
                 " holds no kernel (the upper bound is exclusive): clients never apply it"});
      }
      if (!chain.next()) {
        innermost = range->nested;
        break;
      }
    }
  }
  if (auto warning = unrecognised_instruction(innermost)) {
    out.push_back({number, FindingKind::kUnknownInstruction, std::move(*warning)});
  }
}

bool is_blank(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return g_ascii_isspace(c); });
}

// Walks the lines once, the way the loader would for every config-id at once.
class Scanner {
 public:
  void line(std::string_view text, std::size_t number) {
    if (text.starts_with('[')) {
      header(text, number);
    } else if (in_body_) {
      body(text, number);
    } else {
      outside(text, number);
    }
  }

  CheckReport take() { return std::move(report_); }

 private:
  void add(Finding finding) { report_.findings.push_back(std::move(finding)); }

  void header(std::string_view text, std::size_t number) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) {
      add({number, FindingKind::kUnclosedHeader,
           "line begins with \"[\" but has no \"]\": it ends the section above and starts none"});
      in_body_ = false;
      outside_reported_ = true;  // what follows is lost for the reason just given
      return;
    }
    const std::string id(text.substr(0, close + 1));
    add({number, FindingKind::kSection, "section " + id});
    const auto [first, inserted] = first_header_.try_emplace(id, number);
    if (!inserted) {
      add({number, FindingKind::kDuplicateSection,
           "section " + id + " repeats the one at line " + std::to_string(first->second) +
               ": clients read only the first"});
    }
    report_.sections.push_back({std::string(text), number, number});
    in_body_ = true;
  }

  void body(std::string_view text, std::size_t number) {
    if (text.empty()) {
      in_body_ = false;
      outside_reported_ = false;
      return;
    }
    check_instruction(text, number, report_.findings);
    report_.sections.back().last_line = number;
  }

  void outside(std::string_view text, std::size_t number) {
    if (text.empty()) {
      outside_reported_ = false;
      return;
    }
    if (outside_reported_ || is_blank(text) || text.starts_with('#')) {
      return;
    }
    add({number, FindingKind::kOutsideSection,
         "text outside any section is never read (a section ends at its first empty line)"});
    outside_reported_ = true;
  }

  CheckReport report_;
  std::map<std::string, std::size_t, std::less<>> first_header_;
  bool in_body_ = false;
  bool outside_reported_ = false;
};

std::size_t line_of(std::string_view text, std::size_t offset) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// File-wide findings go in at their line so that the report stays in order.
void add_in_order(CheckReport &report, Finding finding) {
  const auto after =
      std::upper_bound(report.findings.begin(), report.findings.end(), finding.line,
                       [](std::size_t line, const Finding &other) { return line < other.line; });
  report.findings.insert(after, std::move(finding));
}

bool is_file_wide(FindingKind kind) {
  return kind == FindingKind::kCrLf || kind == FindingKind::kNulByte;
}

// A later copy of the header the loader picks for config_id. Sections are in
// line order, so a file of nothing but copies costs a search, not a scan, each.
bool repeats_header(const Finding &finding, const CheckReport &report, std::string_view id) {
  if (finding.kind != FindingKind::kDuplicateSection) {
    return false;
  }
  const auto section =
      std::lower_bound(report.sections.begin(), report.sections.end(), finding.line,
                       [](const SectionSpan &s, std::size_t line) { return s.first_line < line; });
  return section != report.sections.end() && section->first_line == finding.line &&
         section->header.starts_with(id);
}

void append_escaped(std::string &out, char c) {
  constexpr std::string_view kHex = "0123456789abcdef";
  const auto byte = static_cast<unsigned char>(c);
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xf];
}

// Characters that move the cursor, reorder the text around them or break the
// line: C0 and C1 controls, bidirectional and other format characters, line
// and paragraph separators.
bool is_unprintable(gunichar c) {
  switch (g_unichar_type(c)) {
    case G_UNICODE_CONTROL:
    case G_UNICODE_FORMAT:
    case G_UNICODE_LINE_SEPARATOR:
    case G_UNICODE_PARAGRAPH_SEPARATOR:
      return true;
    default:
      return false;
  }
}

// Messages quote lines of the file, which may hold anything: unprintable
// characters and bytes that are not UTF-8 are shown as \xNN, byte by byte, so
// that the publisher sees them and the terminal is not thrown by them.
void append_printable(std::string &out, std::string_view text) {
  while (!text.empty()) {
    const char *end = nullptr;
    g_utf8_validate_len(text.data(), text.size(), &end);
    for (std::string_view run(text.data(), end); !run.empty();) {
      const auto length = static_cast<std::size_t>(g_utf8_next_char(run.data()) - run.data());
      if (is_unprintable(g_utf8_get_char(run.data()))) {
        for (const char c : run.substr(0, length)) {
          append_escaped(out, c);
        }
      } else {
        out += run.substr(0, length);
      }
      run.remove_prefix(length);
    }
    const auto valid = static_cast<std::size_t>(end - text.data());
    if (valid < text.size()) {
      append_escaped(out, text[valid]);
      text.remove_prefix(valid + 1);
    } else {
      text = {};
    }
  }
}

void note(std::vector<Finding> &out, std::string message) {
  out.push_back({0, FindingKind::kSignatureNote, std::move(message)});
}

// "LABEL N (DATE)", the date where N is one.
std::string describe_time(const char *label, std::uint64_t timestamp) {
  std::string text = label + (" " + std::to_string(timestamp));
  g_autoptr(GDateTime) time = timestamp <= G_MAXINT64
                                  ? g_date_time_new_from_unix_utc(static_cast<gint64>(timestamp))
                                  : nullptr;
  if (time != nullptr) {
    g_autofree char *date = g_date_time_format(time, " (%Y-%m-%d %H:%M:%S UTC)");
    text += date;
  }
  return text;
}

// Timestamps of 10^12 and more are milliseconds (or finer) for any date after
// 2001; in seconds they would lie thirty thousand years ahead.
constexpr std::uint64_t kMillisecondsFrom = 1'000'000'000'000;
constexpr std::int64_t kDay = std::int64_t{24} * 60 * 60;
// An expiry ends a pair that a frozen mirror keeps serving, and publishers
// sign again well before it, every few weeks or months. Ten years is past any
// such schedule, while a digit too many or a slipped century lands centuries
// out: clients would take the pair that long, as if it never expired.
constexpr std::int64_t kExpiryHorizon = 3653 * kDay;

// Why timestamp, taken by clients as the floor of every later file, would
// lock them out, or nullopt.
std::optional<std::string> floor_problem(std::uint64_t timestamp, std::int64_t now) {
  const std::string consequence =
      ": clients would take the file, and from then on refuse every file signed before that time";
  if (timestamp >= kMillisecondsFrom) {
    return "timestamp " + std::to_string(timestamp) +
           " looks like milliseconds, where minisign's are seconds" + consequence;
  }
  if (now < 0 || timestamp > static_cast<std::uint64_t>(now) + kDay) {
    return "timestamp " + std::to_string(timestamp) +
           " is more than a day ahead of this machine's clock (" + std::to_string(now) + ")" +
           consequence;
  }
  return std::nullopt;
}

// Why clients would take the file until expires as good as for ever, or
// nullopt.
std::optional<std::string> expiry_problem(const Expiry &expires, std::int64_t now) {
  const std::string field = "expires:" + expires.value;
  const std::string consequence = ": clients would take the file until then, as good as for ever";
  if (expires.time() >= kMillisecondsFrom) {
    return field + " looks like milliseconds, where it is seconds" + consequence;
  }
  if (now >= 0 && expires.time() > static_cast<std::uint64_t>(now) + kExpiryHorizon) {
    return field + " is more than ten years ahead of this machine's clock (" + std::to_string(now) +
           ")" + consequence;
  }
  return std::nullopt;
}

// "expires N (DATE)", or the value as signed where it is not a number.
std::string describe_expiry(const Expiry &expires) {
  return expires.seconds ? describe_time("expires", *expires.seconds) : "expires " + expires.value;
}

}  // namespace

std::size_t CheckReport::problem_count() const {
  return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                [](const Finding &f) { return f.is_problem(); }));
}

CheckReport check_configuration(std::string_view text) {
  const std::size_t nul = text.find('\0');
  const std::string_view read = text.substr(0, nul);
  Scanner scanner;
  std::size_t number = 0;
  LineReader lines(read);
  while (const auto line = lines.next()) {
    scanner.line(*line, ++number);
  }
  CheckReport report = scanner.take();
  if (report.sections.empty()) {
    report.findings.insert(
        report.findings.begin(),
        {0, FindingKind::kNoSection, "no section header: every client gets empty lists"});
  }
  if (const std::size_t crlf = read.find("\r\n"); crlf != std::string_view::npos) {
    add_in_order(report, {line_of(read, crlf), FindingKind::kCrLf,
                          "lines end with CR LF: e lines keep the CR, and a blank line is a lone "
                          "CR that does not end its section"});
  }
  if (nul != std::string_view::npos) {
    add_in_order(report, {line_of(text, nul), FindingKind::kNulByte,
                          "NUL byte: clients read nothing from here on"});
  }
  return report;
}

DistributionView view_distribution(std::string_view text, std::string_view id,
                                   std::string_view kernel_release) {
  DistributionView view;
  Configuration config = new_configuration();
  LineReader lines(text);
  parse_section(config, lines, id, kernel_release, Warnings::kQuiet);
  view.dump = format_configuration(config);

  CheckReport report = check_configuration(text);
  const auto span = std::find_if(report.sections.begin(), report.sections.end(),
                                 [&](const SectionSpan &s) { return s.header.starts_with(id); });
  if (span == report.sections.end()) {
    view.findings.push_back(
        {0, FindingKind::kNoSection,
         "no section for " + std::string(id) + ": clients there get empty lists"});
  }
  for (Finding &finding : report.findings) {
    const bool in_span = span != report.sections.end() && finding.line >= span->first_line &&
                         finding.line <= span->last_line;
    if (finding.is_problem() &&
        (in_span || is_file_wide(finding.kind) || repeats_header(finding, report, id))) {
      view.findings.push_back(std::move(finding));
    }
  }
  return view;
}

std::vector<Finding> check_signature(std::string_view file, std::string_view signature,
                                     const std::vector<PublicKey> &keys, std::int64_t now) {
  std::vector<Finding> out;
  g_autoptr(GError) error = nullptr;
  const std::optional<Signature> parsed = parse_signature(signature, &error);
  if (parsed) {
    note(out, "key id " + format_key_id(parsed->key_id));
    note(out, "trusted comment: " + parsed->trusted_comment);
    const CommentFields fields = read_trusted_comment(parsed->trusted_comment);
    if (fields.timestamp) {
      note(out, describe_time("timestamp", *fields.timestamp));
    }
    if (fields.expires) {
      note(out, describe_expiry(*fields.expires));
    }
  }
  // Now: a client takes the file until its expires:, and refuses it after.
  const std::optional<Verified> verified =
      parsed ? verify_signature(*parsed, file, keys, {std::nullopt, now}, &error) : std::nullopt;
  if (!verified) {
    out.push_back({0, FindingKind::kSignatureRefused,
                   std::string("a client would refuse the file: ") + error->message});
    return out;
  }
  note(out, "a client would take the file with this signature");
  if (std::optional<std::string> problem = floor_problem(verified->timestamp, now)) {
    out.push_back({0, FindingKind::kSignatureFloor, std::move(*problem)});
  }
  if (verified->expires) {
    if (std::optional<std::string> problem = expiry_problem(*verified->expires, now)) {
      out.push_back({0, FindingKind::kSignatureExpiry, std::move(*problem)});
    }
  }
  return out;
}

std::string format_summary(std::string_view file, const CheckReport &report) {
  const std::size_t sections = report.sections.size();
  const std::size_t problems = report.problem_count();
  return std::string(file) + ": " + std::to_string(sections) +
         (sections == 1 ? " section, " : " sections, ") + std::to_string(problems) +
         (problems == 1 ? " problem\n" : " problems\n");
}

std::string format_finding(std::string_view file, const Finding &finding) {
  std::string out(file);
  if (finding.line != 0) {
    out += ':';
    out += std::to_string(finding.line);
  }
  out += finding.is_problem() ? ": warning: " : ": ";
  append_printable(out, finding.message);
  out += '\n';
  return out;
}

}  // namespace qor
