// The outside world as the tests build it, in place of src/outside: the real
// one, save what a test names in its environment. Only the test programs and
// the copies of the tool and the library that the tests build link it;
// nothing installed does, so no variable can point an installed client at
// another host or authority.
//   QOR_TEST_CONFIG_URL      where the configuration file is fetched from
//   QOR_TEST_CA_FILE         the only authorities the server's certificate
//                            may chain to (scripts/make-certs's ca.pem)
//   QOR_TEST_FEDORA_RELEASE  the release file the probe falls back on
#include <gio/gio.h>

#include "distro/probe.h"
#include "load/local_copy.h"

namespace qor {

const DistroSources &system_distro_sources() {
  static const auto *const sources = [] {
    auto *made = new DistroSources;
    if (const char *path = g_getenv("QOR_TEST_FEDORA_RELEASE")) {
      made->fedora_release_path = path;
    }
    return made;
  }();
  return *sources;
}

const Source &published_source() {
  static const auto *const source = [] {
    auto *made = new Source(build_source());
    if (const char *url = g_getenv("QOR_TEST_CONFIG_URL")) {
      made->url = url;
    }
    if (const char *authorities = g_getenv("QOR_TEST_CA_FILE")) {
      made->tls_database.reset(g_tls_file_database_new(authorities, nullptr));
    }
    return made;
  }();
  return *source;
}

}  // namespace qor
