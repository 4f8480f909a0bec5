// The process-wide configuration, loaded from a fresh download of the file.
#include "config/configuration.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/glib_ptr.h"
#include "config/loader.h"
#include "config/local_copy.h"
#include "config/shared_load.h"
#include "config/signature.h"
#include "config/signed_copy.h"
#include "distro/distro_info.h"
#include "net/http_download.h"

namespace qor {

const char ConfigUrl[] = "https://" QOR_CONFIG_HOST "/gfx/qor-config.cfg";

namespace {

constexpr const char *kNoHome = "No home directory to keep the configuration file in";

// A build given keys (QOR_CONFIG_KEYS) takes only signed files; without, the
// file is taken as HTTPS brings it.
bool signatures_required() { return !build_keys().empty(); }

// The keys the build trusts, checked when configuring. Should they still
// not parse, they trust nothing rather than letting unsigned files in.
const std::vector<PublicKey> &trusted_keys() {
  static const auto *const keys = new std::vector<PublicKey>(
      parse_public_keys(build_keys()).value_or(std::vector<PublicKey>{}));
  return *keys;
}

// One warning that names why a signature was refused; the bytes of a
// trusted comment may be in it.
void warn_refused(const GError *failure) {
  if (failure != nullptr && failure->domain == signature_error_quark()) {
    g_autofree char *reason = g_strescape(failure->message, nullptr);
    g_warning("The configuration file's signature was refused: %s", reason);
  }
}

std::optional<Configuration> read_local_copy(const std::string &path, GError **error) {
  const std::string id = config_id(*get_distro_information());
  if (!signatures_required()) {
    return read_configuration(path, id, running_kernel_release(), error);
  }
  GError *failure = nullptr;
  const std::optional<std::string> text = read_signed(path, trusted_keys(), &failure);
  warn_refused(failure);
  g_propagate_error(error, failure);
  return text ? std::optional(parse_configuration(*text, id, running_kernel_release()))
              : std::nullopt;
}

}  // namespace

LocalCopy download_local_copy(GCancellable *cancellable) {
  LocalCopy copy{home_directory(), false, nullptr};
  if (copy.path) {
    copy.path = config_local_path(*copy.path);
    GError *failure = nullptr;
    copy.stored =
        !signatures_required()
            ? http_download_file(ConfigUrl, copy.path->c_str(), cancellable, &failure)
            : download_signed(ConfigUrl, *copy.path, trusted_keys(), cancellable, &failure);
    copy.failure.reset(failure);
  }
  return copy;
}

namespace {

// Reads the section of this distribution from a freshly downloaded copy.
std::optional<Configuration> load(LocalCopy copy, GError **error) {
  if (!copy.path) {
    g_warning("%s", kNoHome);
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, kNoHome);
    return std::nullopt;
  }
  if (!copy.stored) {
    // A cancelled download is the caller's choice, not a failure to report.
    if (!g_error_matches(copy.failure.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      g_warning("Failed to download config file '%s'\n", ConfigUrl);
      warn_refused(copy.failure.get());
    }
    g_propagate_error(error, copy.failure.release());
    return std::nullopt;
  }
  return read_local_copy(*copy.path, error);
}

LoadFunction loading(std::function<LocalCopy(GCancellable *)> download) {
  return [download = std::move(download)](GCancellable *cancellable, GError **error) {
    return load(download(cancellable), error);
  };
}

}  // namespace

const Configuration *get_configuration() { return get_or_load(loading(download_local_copy)); }

const Configuration *get_configuration_with(const std::function<LocalCopy()> &download) {
  return get_or_load(loading([&download](GCancellable * /*cancellable*/) { return download(); }));
}

void get_configuration_async(GCancellable *cancellable, GAsyncReadyCallback callback,
                             gpointer user_data) {
  g_autoptr(GTask) task = g_task_new(nullptr, cancellable, callback, user_data);
  g_task_set_source_tag(task, reinterpret_cast<gpointer>(get_configuration_async));
  // A load that finished before the cancellation reached it has replaced the
  // local copy and set the record: its caller gets the record, not an error.
  g_task_set_check_cancellable(task, FALSE);
  get_or_load_async(task, loading(download_local_copy));
}

const Configuration *get_configuration_finish(GAsyncResult *result, GError **error) {
  g_return_val_if_fail(g_task_is_valid(result, nullptr), nullptr);
  g_return_val_if_fail(
      g_async_result_is_tagged(result, reinterpret_cast<gpointer>(get_configuration_async)),
      nullptr);
  return static_cast<const Configuration *>(g_task_propagate_pointer(G_TASK(result), error));
}

}  // namespace qor
