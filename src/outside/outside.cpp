// The outside world of the process-wide records, in one place: where the
// probe looks and where the configuration file comes from. Nothing here reads
// the environment or a file: a client fetches from the host it was built for
// and trusts the system's authorities alone. What the tests build has a copy
// of its own (tests/support/outside.cpp) that points these at the tests' own
// files and servers.
#include "distro/probe.h"
#include "load/local_copy.h"

namespace qor {

const DistroSources &system_distro_sources() {
  static const auto *const sources = new DistroSources;
  return *sources;
}

const Source &published_source() {
  static const auto *const source = new Source(build_source());
  return *source;
}

}  // namespace qor
