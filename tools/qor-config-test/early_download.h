// qor-config-test's head start: the download a load begins with, started
// before the program probes the distribution.
#pragma once

#include <memory>
#include <thread>

#include <qor/configuration.hpp>
#include "load/local_copy.h"

namespace qor {

// Downloads ConfigUrl into ~/.qor-config on a thread of its own, so that it
// runs while the program does other work. That thread first makes the TLS
// backend's default database forward (forward_default_database), so that the
// system's trust list is built once. Nothing else happens on that thread:
// the warning of a failed download, the parse and the dump wait for
// get_configuration(ConfigurationDownload &).
class ConfigurationDownload {
 public:
  // Where no thread can be had, the download waits for get_configuration.
  ConfigurationDownload();
  // Waits for the download: the thread never outlives the object.
  ~ConfigurationDownload();
  ConfigurationDownload(const ConfigurationDownload &) = delete;
  ConfigurationDownload &operator=(const ConfigurationDownload &) = delete;

  // Waits for the download's end and takes its result; once taken, or where
  // no thread could be had, downloads anew.
  LocalCopy wait();

 private:
  std::unique_ptr<LocalCopy> copy_;
  std::thread thread_;
};

// get_configuration(), but the first load takes the local copy from
// download, waiting for it; a load after a failed one downloads anew.
const Configuration *get_configuration(ConfigurationDownload &download);

}  // namespace qor
