// The download a load begins with, for qor-config-test, which starts it
// ahead of the load: no interface of the library's.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <optional>
#include <string>

#include "common/glib_ptr.h"
#include "config/configuration.h"

namespace qor {

// Where the local copy goes (nullopt: there is no home to keep it in),
// whether the download stored it, and why not where it says.
struct LocalCopy {
  std::optional<std::string> path;
  bool stored = false;
  GErrorPtr failure;
};

// Downloads ConfigUrl into ~/.qor-config.
LocalCopy download_local_copy(GCancellable *cancellable);

// get_configuration, but a load takes its local copy from download.
const Configuration *get_configuration_with(const std::function<LocalCopy()> &download);

}  // namespace qor
