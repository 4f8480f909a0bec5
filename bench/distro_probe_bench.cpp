// The probe's parsing stays linear in the size of the tool's output, also for
// a Fedora description built to make a backtracking matcher rescan each line.
#include <benchmark/benchmark.h>

#include <string>

#include "distro/probe.h"

namespace {

std::string repeated(std::string_view piece, std::int64_t times) {
  std::string text;
  text.reserve(piece.size() * static_cast<std::size_t>(times));
  for (std::int64_t i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

// Parses output over and over, reporting bytes of output per second.
void parse_output(benchmark::State &state, const std::string &output) {
  while (state.KeepRunning()) {
    qor::DistroInfo info;
    qor::parse_lsb_release_output(output, info);
    benchmark::DoNotOptimize(info);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(output.size()));
  state.SetComplexityN(state.range(0));
}

void BM_ToolOutputLines(benchmark::State &state) {
  const std::string output = repeated(
      "Description:\tQor 1.0 built 12:30:05\nNo LSB modules are available.\n", state.range(0));
  parse_output(state, output);
}
BENCHMARK(BM_ToolOutputLines)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

void parse_fedora_description(benchmark::State &state, std::string_view piece) {
  const std::string output =
      "Distributor ID:\tFedora\nDescription:\t" + repeated(piece, state.range(0)) + "\r)\n";
  parse_output(state, output);
}

// Every name runs into the one line break at the very end.
void BM_FedoraNamesNeverClosed(benchmark::State &state) {
  parse_fedora_description(state, "Fedora release 1 (");
}
BENCHMARK(BM_FedoraNamesNeverClosed)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

// Every head matches and its name breaks off at once.
void BM_FedoraNamesBrokenOff(benchmark::State &state) {
  parse_fedora_description(state, "Fedora release 1 (a\v");
}
BENCHMARK(BM_FedoraNamesBrokenOff)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

}  // namespace
