// Section parsing throughput: ordinary instruction lines, long kernel-range
// lines that match nothing, and deeply nested kernel ranges; and the checker's
// dump of a file that repeats one header, every copy a finding.
#include <benchmark/benchmark.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "qor-config-check/checker.h"
#include "config/kernel_range.h"
#include "config/section.h"

namespace {

constexpr std::string_view kConfigId = "[Qor bookworm]";
constexpr std::string_view kKernel = "6.1.0-18-amd64";
constexpr std::size_t kMiB = 1U << 20U;

std::string section_header() { return std::string(kConfigId) + "\n"; }

// A section as the published file has them: sources, keys, documents and
// packages, with comments and the odd error and kernel range between them.
std::string ordinary_section() {
  std::string text = section_header();
  const auto add = [&text](std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) {
      text += piece;
    }
    text += '\n';
  };
  for (int i = 0; i < 500; ++i) {
    const std::string n = std::to_string(i);
    add({"# packages for group ", n});
    add({"s deb http://archive.qor.example/debian bookworm-", n, " main contrib non-free"});
    add({"g https://archive.qor.example/keys/archive-key-", n, ".asc"});
    add({"d https://docs.qor.example/release-notes/bookworm/", n, ".html  "});
    add({"I qor-driver-", n, " qor-firmware-", n});
    add({"i libqor", n, " qor-tools-", n});
    add({"u qor-driver-", n});
    add({"e The driver ", n, " needs a newer kernel "});
  }
  return text;
}

// Near misses: every bound is followed by something the pattern rejects, so
// each run of digits is tried and the whole line read.
std::string missing_kernel_lines() {
  std::string text = section_header();
  for (int line = 0; line < 2; ++line) {
    std::string value = "k ";
    while (value.size() < kMiB) {
      value += "2.6 3.0x 4.1\u00a05.0/z driver\u3000text 7 y ";
    }
    text += value + "\n";
  }
  return text;
}

std::string nested_kernel_line() {
  std::string text = section_header();
  for (int i = 0; i < 100000; ++i) {
    text += "k 0 99 ";
  }
  text += "s deep\n";
  return text;
}

void parse_text(benchmark::State &state, const std::string &text) {
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
    qor::Configuration config = qor::new_configuration();
    qor::LineReader lines(text);
    qor::parse_section(config, lines, kConfigId, kKernel);
    benchmark::DoNotOptimize(config);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

void BM_OrdinaryLines(benchmark::State &state) { parse_text(state, ordinary_section()); }
void BM_KernelRangeMiss(benchmark::State &state) {
  const std::string text = missing_kernel_lines();
  if (qor::match_kernel_range(text)) {
    state.SkipWithError("the kernel-range lines match");
    return;
  }
  parse_text(state, text);
}
// A chain is only measured whole if the kernel is inside every level.
void parse_chain(benchmark::State &state, const std::string &text) {
  qor::Configuration config = qor::new_configuration();
  qor::LineReader lines(text);
  qor::parse_section(config, lines, kConfigId, kKernel);
  if (config.sources->size() != 1) {
    state.SkipWithError("the chain stops before its innermost line");
    return;
  }
  parse_text(state, text);
}

void BM_NestedKernelRanges(benchmark::State &state) { parse_chain(state, nested_kernel_line()); }

void BM_RepeatedHeaders(benchmark::State &state) {
  std::string text;
  for (int i = 0; i < 100000; ++i) {
    text += section_header();
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
    benchmark::DoNotOptimize(qor::view_distribution(text, kConfigId, kKernel));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_OrdinaryLines);
BENCHMARK(BM_KernelRangeMiss);
BENCHMARK(BM_NestedKernelRanges);
BENCHMARK(BM_RepeatedHeaders)->Unit(benchmark::kMillisecond);

}  // namespace
