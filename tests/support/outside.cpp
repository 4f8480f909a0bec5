// The outside world as the tests build it, in place of src/outside: the real
// one, save what a test names in QOR_TEST_CONFIG_URL (the file's URL),
// QOR_TEST_CA_FILE (the only authorities its server may chain to) and
// QOR_TEST_FEDORA_RELEASE. Nothing installed links it.
#include <gio/gio.h>

#include "distro/probe.h"
#include "load/local_copy.h"

namespace qor {

const DistroSources &system_distro_sources() {
  static const auto *const sources = [] {
    auto *made = new DistroSources;
    const char *path = g_getenv("QOR_TEST_FEDORA_RELEASE");
    if (path != nullptr) made->fedora_release_path = path;
    return made;
  }();
  return *sources;
}

const Source &published_source() {
  static const auto *const source = [] {
    auto *made = new Source(build_source());
    const char *url = g_getenv("QOR_TEST_CONFIG_URL");
    const char *authorities = g_getenv("QOR_TEST_CA_FILE");
    if (url != nullptr) made->url = url;
    if (authorities != nullptr)
      made->tls_database.reset(g_tls_file_database_new(authorities, nullptr));
    return made;
  }();
  return *source;
}

}  // namespace qor
