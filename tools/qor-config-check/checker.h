// The publisher's check of a configuration file: what every section holds and
// every line that clients would silently drop or warn about. Pure: it takes the
// file's text and returns findings; the executable prints them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signature/signature.h"

namespace qor {

enum class FindingKind {
  kSection,             // a section header: a note, not a problem
  kUnknownInstruction,  // the parser's unrecognised-instruction warning
  kNoKernelRange,       // a k line whose value is not "LOWER UPPER NESTED-LINE"
  kEmptyKernelRange,    // a k line whose lower bound is not below its upper one
  kDeepKernelRange,     // k lines nested too deep to be worth following
  kDuplicateSection,    // a header that an earlier one shadows
  kUnclosedHeader,      // a line beginning with "[" without "]"
  kOutsideSection,      // text that no client ever reads
  kCrLf,                // the file has CR LF line ends (once per file)
  kNulByte,             // clients stop reading at a NUL byte (once per file)
  kNoSection,           // no section for the distribution asked about
  kSignatureNote,       // what a signature says: a note, not a problem
  kSignatureRefused,    // a client would refuse the file with its signature
  kSignatureFloor,      // a client would take it, and then no file signed before its timestamp
  kSignatureExpiry,     // a client would take it until an expires: as good as never
};

struct Finding {
  std::size_t line = 0;  // 1-based; 0 for the file as a whole
  FindingKind kind = FindingKind::kSection;
  std::string message;  // raw text: may hold any byte of the file

  bool is_problem() const {
    return kind != FindingKind::kSection && kind != FindingKind::kSignatureNote;
  }
};

// Where one section lies: its header line and its last body line (the header
// line itself when the body is empty), both 1-based.
struct SectionSpan {
  std::string header;  // the whole header line
  std::size_t first_line = 0;
  std::size_t last_line = 0;
};

struct CheckReport {
  std::vector<Finding> findings;  // in line order
  std::vector<SectionSpan> sections;

  std::size_t problem_count() const;
};

// Checks the whole text of a configuration file. Section bodies end where the
// loader ends them, and unrecognised lines are found by the parser itself.
// A k line's nested line is checked whatever its range, as if every kernel
// lay inside it.
CheckReport check_configuration(std::string_view text);

// What a client of one distribution gets from the text.
struct DistributionView {
  std::string dump;               // exactly the loader's dump of the record
  std::vector<Finding> findings;  // problems that concern this distribution
};

// Parses the section for config_id against kernel_release as the loader
// does, without logging the parser's warnings: the findings name them with
// their lines instead, together with file-wide problems, later copies of the
// header, or the lack of a section.
DistributionView view_distribution(std::string_view text, std::string_view config_id,
                                   std::string_view kernel_release);

// What a client that trusts keys, and has no signature kept, makes of file
// with signature (the text of a signature file) at now: notes of the key id,
// the trusted comment, its timestamp and expires:, as far as they can be
// read, then a note that it takes the file or a problem naming why it
// refuses it, its expiry among the reasons. A timestamp
// that looks like milliseconds, or lies more than a day after now (Unix
// seconds), is a problem too: clients take the file, and its timestamp then
// keeps them from taking any file signed before it. So is an expires: that
// looks like milliseconds or lies more than ten years after now: clients
// would take the file as if it never expired.
std::vector<Finding> check_signature(std::string_view file, std::string_view signature,
                                     const std::vector<PublicKey> &keys, std::int64_t now);

// "FILE:LINE: message" (just "FILE: message" for line 0), with "warning: "
// before a problem's message and unprintable characters escaped, plus a line end.
std::string format_finding(std::string_view file, const Finding &finding);

// The report's last line: "FILE: N sections, M problems".
std::string format_summary(std::string_view file, const CheckReport &report);

}  // namespace qor
