#include "qor-config-test/early_download.h"

#include <system_error>
#include <utility>

#include "net/forwarding_database.h"

namespace qor {

namespace {

// The program owns its process: every TLS connection in it may verify
// through the one trust list the default database builds.
LocalCopy download() {
  forward_default_database();
  return download_local_copy(nullptr);
}

}  // namespace

ConfigurationDownload::ConfigurationDownload() : copy_(std::make_unique<LocalCopy>()) {
  try {
    thread_ = std::thread([this] { *copy_ = download(); });
  } catch (const std::system_error &) {
    copy_.reset();  // no thread to be had: wait() downloads instead
  }
}

ConfigurationDownload::~ConfigurationDownload() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

LocalCopy ConfigurationDownload::wait() {
  if (thread_.joinable()) {
    thread_.join();
  }
  if (!copy_) {
    return download();
  }
  LocalCopy taken = std::move(*copy_);
  copy_.reset();  // taken once: a load after a failed one downloads again
  return taken;
}

const Configuration *get_configuration(ConfigurationDownload &download) {
  return get_configuration_with([&download] { return download.wait(); });
}

}  // namespace qor
