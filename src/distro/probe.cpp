#include "distro/probe.h"

#include <glib.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/line_reader.h"
#include "base/text.h"

namespace qor {
namespace {

constexpr std::string_view kFedora = "Fedora";
constexpr std::string_view kUnknown = "Unknown";

struct FedoraName {
  std::string release;
  std::string codename;
};

std::optional<std::string> *field_for_key(DistroInfo &info, std::string_view key) {
  if (key == "Distributor ID") {
    return &info.distributor;
  }
  if (key == "Description") {
    return &info.description;
  }
  if (key == "Release") {
    return &info.release;
  }
  if (key == "Codename") {
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

// The release number and the name in parentheses of a description such as
// "Fedora release 39 (Thirty Nine)". Text that is not UTF-8 never matches.
std::optional<FedoraName> match_fedora_name(const std::string &description) {
  g_autoptr(GRegex) regex =
      g_regex_new(R"(Fedora\s+release\s+(\d+)\s+\((.*?)\))", static_cast<GRegexCompileFlags>(0),
                  static_cast<GRegexMatchFlags>(0), nullptr);
  g_autoptr(GMatchInfo) match = nullptr;
  if (regex == nullptr ||
      !g_regex_match(regex, description.c_str(), static_cast<GRegexMatchFlags>(0), &match)) {
    return std::nullopt;
  }
  g_autofree char *release = g_match_info_fetch(match, 1);
  g_autofree char *codename = g_match_info_fetch(match, 2);
  return FedoraName{release, codename};
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
  LineReader lines(output);
  while (const auto line = lines.next()) {
    read_tool_line(*line, info);
  }
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
