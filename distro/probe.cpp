#include "distro/probe.h"

#include <glib.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/text.h"

namespace qor {
namespace {

// Everything up to the first ":" of a tool line is compared exactly with these.
constexpr std::string_view kDistributorKey = "Distributor ID";
constexpr std::string_view kDescriptionKey = "Description";
constexpr std::string_view kReleaseKey = "Release";
constexpr std::string_view kCodenameKey = "Codename";

constexpr std::string_view kFedora = "Fedora";
constexpr std::string_view kUnknown = "Unknown";

// The head of "Fedora release <number> (<name>)" up to and including the
// opening parenthesis. The name itself is found by hand (see find_name_end).
constexpr const char *kFedoraHeadPattern = R"(Fedora\s+release\s+(\d+)\s+\()";

struct FedoraName {
  std::string release;
  std::string codename;
};

std::optional<std::string> *field_for_key(DistroInfo &info, std::string_view key) {
  if (key == kDistributorKey) {
    return &info.distributor;
  }
  if (key == kDescriptionKey) {
    return &info.description;
  }
  if (key == kReleaseKey) {
    return &info.release;
  }
  if (key == kCodenameKey) {
    return &info.codename;
  }
  return nullptr;
}

void read_tool_line(std::string_view line, DistroInfo &info) {
  const std::size_t colon = line.find(':');
  std::optional<std::string> *field = field_for_key(info, line.substr(0, colon));
  if (field == nullptr) {
    return;
  }
  if (colon == std::string_view::npos) {
    // A bare key is the tool saying it has no value for it.
    field->reset();
    return;
  }
  *field = std::string(trim(line.substr(colon + 1)));
}

// Whether a line break in the regex engine's sense (any of CR, LF, VT, FF,
// U+0085, U+2028, U+2029) starts at pos. The text is valid UTF-8 here, so
// the multi-byte ones cannot be confused with parts of other characters.
bool is_line_break_at(std::string_view text, std::size_t pos) {
  switch (static_cast<unsigned char>(text[pos])) {
    case '\n':
    case '\v':
    case '\f':
    case '\r':
      return true;
    case 0xC2:
      return text.substr(pos + 1, 1) == "\x85";
    case 0xE2:
      return text.substr(pos + 1, 2) == "\x80\xA8" || text.substr(pos + 1, 2) == "\x80\xA9";
    default:
      return false;
  }
}

// Where a name starting at from ends: at the first ")" or line break, or at
// the end of the text. The lazy "(.*?)\)" of the full pattern takes exactly
// the text up to such a ")" and fails at such a line break.
std::size_t find_name_end(std::string_view text, std::size_t from) {
  for (std::size_t pos = from; pos < text.size(); ++pos) {
    if (text[pos] == ')' || is_line_break_at(text, pos)) {
      return pos;
    }
  }
  return text.size();
}

// The release number when window, which ends at its only "(", is one head
// "Fedora release <number> (" from start to end.
std::optional<std::string> match_head(const GRegex *regex, std::string_view window) {
  g_autoptr(GMatchInfo) match = nullptr;
  if (!g_regex_match_full(regex, window.data(), static_cast<gssize>(window.size()), 0,
                          G_REGEX_MATCH_ANCHORED, &match, nullptr)) {
    return std::nullopt;
  }
  g_autofree char *number = g_match_info_fetch(match, 1);
  return std::string(number);
}

// Matches "Fedora\s+release\s+(\d+)\s+\((.*?)\)" against text, first match
// winning, in time linear in the text. Left to the regex engine, the lazy
// name group rescans the rest of the line from every head whose ")" never
// comes, and every further search re-validates the rest of the text.
// A head holds exactly one "(", at its end, and no other "Fedora", so only
// the last "Fedora" before each "(" can start one, and the engine sees just
// that stretch. Once a name has run into a line break, every later head
// whose "(" lies before that break fails the same way. Invalid UTF-8 never
// matches, as with the engine.
std::optional<FedoraName> match_fedora_name(std::string_view text) {
  g_autoptr(GRegex) regex = g_regex_new(kFedoraHeadPattern, static_cast<GRegexCompileFlags>(0),
                                        static_cast<GRegexMatchFlags>(0), nullptr);
  if (regex == nullptr || !g_utf8_validate_len(text.data(), text.size(), nullptr)) {
    return std::nullopt;
  }
  std::size_t failed_up_to = 0;
  for (std::size_t from = 0;;) {
    const std::size_t paren = text.find('(', from);
    if (paren == std::string_view::npos) {
      return std::nullopt;
    }
    const std::size_t head = text.substr(from, paren - from).rfind(kFedora);
    const std::size_t name_start = paren + 1;
    if (head != std::string_view::npos && name_start > failed_up_to) {
      if (auto number = match_head(regex, text.substr(from + head, name_start - from - head))) {
        const std::size_t name_end = find_name_end(text, name_start);
        if (name_end < text.size() && text[name_end] == ')') {
          return FedoraName{*number, std::string(text.substr(name_start, name_end - name_start))};
        }
        failed_up_to = name_end;
      }
    }
    from = name_start;
  }
}

void take_fedora_codename(DistroInfo &info) {
  if (info.distributor != kFedora || !info.description) {
    return;
  }
  if (auto name = match_fedora_name(*info.description)) {
    info.codename = std::move(name->codename);
  }
}

// Runs the tool and reads its answer into info. False when it could not be
// started at all; a tool that starts and fails has still answered.
bool ask_tool(const std::string &command_line, DistroInfo &info) {
  g_autofree char *output = nullptr;
  int wait_status = 0;
  // Standard error is left alone so the tool's complaints reach the user.
  if (!g_spawn_command_line_sync(command_line.c_str(), &output, nullptr, &wait_status, nullptr)) {
    return false;
  }
  parse_lsb_release_output(output != nullptr ? output : "", info);
  return true;
}

DistroInfo read_fedora_release(const std::string &path) {
  g_autofree char *contents = nullptr;
  if (!g_file_get_contents(path.c_str(), &contents, nullptr, nullptr)) {
    return {};
  }
  return parse_fedora_release(contents);
}

}  // namespace

void parse_lsb_release_output(std::string_view output, DistroInfo &info) {
  for_each_line(up_to_nul(output), [&info](std::string_view line) {
    read_tool_line(line, info);
    return true;
  });
  take_fedora_codename(info);
}

DistroInfo parse_fedora_release(std::string_view text) {
  DistroInfo info;
  info.distributor = std::string(kFedora);
  info.description = std::string(up_to_nul(text));
  if (auto name = match_fedora_name(*info.description)) {
    info.release = std::move(name->release);
    info.codename = std::move(name->codename);
  } else {
    info.release = std::string(kUnknown);
    info.codename = std::string(kUnknown);
  }
  info.valid = true;
  return info;
}

DistroInfo probe_distro(const DistroSources &sources) {
  DistroInfo info;
  if (ask_tool(sources.command_line, info)) {
    info.valid = true;
    return info;
  }
  return read_fedora_release(sources.fedora_release_path);
}

}  // namespace qor
