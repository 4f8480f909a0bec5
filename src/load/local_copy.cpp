// The local copy a load downloads and reads, and the process-wide
// configuration loaded from it.
#include <qor/configuration.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <qor/distro_info.hpp>
#include <qor/http_download.hpp>
#include "base/glib_ptr.h"
#include "config/section.h"
#include "load/loader.h"
#include "load/local_copy.h"
#include "load/shared_load.h"
#include "load/signed_copy.h"
#include "load/validated_copy.h"
#include "net/http_session.h"
#include "signature/signature.h"

namespace qor {

const char *const ConfigUrl = "https://" QOR_CONFIG_HOST "/gfx/qor-config.cfg";

namespace {

constexpr const char *kNoHome = "No home directory to keep the configuration file in";

// One warning that names why the file was not taken, where the reason lies
// with its signature or the local file system; the bytes of a trusted
// comment may be in it.
void warn_reason(const GError &failure) {
  if (failure.domain == signature_error_quark()) {
    g_autofree char *reason = g_strescape(failure.message, nullptr);
    g_warning("The configuration file's signature was refused: %s", reason);
  } else if (failure.domain == G_IO_ERROR) {
    g_warning("The configuration file could not be stored: %s", failure.message);
  }
}

}  // namespace

// The keys the build trusts are checked when configuring. Should they still
// not parse, they trust nothing rather than letting unsigned files in.
Source build_source() {
  return {ConfigUrl, !build_keys().empty(),
          parse_public_keys(build_keys()).value_or(std::vector<PublicKey>{}), nullptr};
}

LocalCopy download_local_copy(const std::optional<std::string> &home, const Source &source,
                              GCancellable *cancellable) {
  LocalCopy copy;
  if (!home) {
    return copy;
  }
  copy.path = config_local_path(*home);
  GError *failure = nullptr;
  if (!source.signed_only) {
    copy.stored =
        download_validated(source.url, *copy.path, source.fetch_options(), cancellable, &failure);
  } else {
    const std::int64_t now = g_get_real_time() / G_USEC_PER_SEC;
    copy.verified = download_signed(source.url, *copy.path, source.keys, source.fetch_options(),
                                    now, cancellable, &failure);
    copy.stored = copy.verified.has_value();
  }
  copy.failure.reset(failure);
  return copy;
}

LocalCopy download_local_copy(GCancellable *cancellable) {
  return download_local_copy(home_directory(), published_source(), cancellable);
}

std::optional<Configuration> load_local_copy(LocalCopy copy, const Source &source,
                                             std::string_view config_id,
                                             std::string_view kernel_release, GError **error) {
  if (!copy.path) {
    g_warning("%s", kNoHome);
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, kNoHome);
    return std::nullopt;
  }
  if (!copy.stored) {
    // A cancelled download is the caller's choice, not a failure to report.
    if (!g_error_matches(copy.failure.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      g_warning("Failed to download config file '%s'\n", source.url.c_str());
      warn_reason(*copy.failure);
    }
    g_propagate_error(error, copy.failure.release());
    return std::nullopt;
  }
  if (copy.verified) {
    return parse_configuration(*copy.verified, config_id, kernel_release);
  }
  return read_configuration(*copy.path, config_id, kernel_release, error);
}

namespace {

LoadFunction loading(std::function<LocalCopy(GCancellable *)> download) {
  return [download = std::move(download)](GCancellable *cancellable, GError **error) {
    return load_local_copy(download(cancellable), published_source(),
                           config_id(*get_distro_information()), running_kernel_release(), error);
  };
}

}  // namespace

const Configuration *get_configuration() {
  return get_or_load(
      loading([](GCancellable *cancellable) { return download_local_copy(cancellable); }));
}

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
  // The caller may exit while the load's thread runs, so that thread must
  // load no module: they are loaded here, on the caller's.
  load_session_modules();
  get_or_load_async(task, loading([](GCancellable *c) { return download_local_copy(c); }));
}

const Configuration *get_configuration_finish(GAsyncResult *result, GError **error) {
  g_return_val_if_fail(g_task_is_valid(result, nullptr), nullptr);
  g_return_val_if_fail(
      g_async_result_is_tagged(result, reinterpret_cast<gpointer>(get_configuration_async)),
      nullptr);
  return static_cast<const Configuration *>(g_task_propagate_pointer(G_TASK(result), error));
}

}  // namespace qor
