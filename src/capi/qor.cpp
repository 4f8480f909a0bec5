// The C interface: views of the C++ records in C types, made once per
// record and kept as long as the record, and calls passed straight on.
#include <qor/qor.h>

#include <map>
#include <mutex>
#include <set>
#include <vector>

#include <qor/compare_versions.hpp>
#include <qor/configuration.hpp>
#include <qor/distro_info.hpp>
#include <qor/http_download.hpp>
#include <qor/http_error.hpp>
#include <qor/signature_error.hpp>

struct _QorConfiguration {  // NOLINT(bugprone-reserved-identifier): GLib naming
  // Each list as a NULL-terminated array of the record's own strings, or
  // nullopt for an absent slot.
  std::optional<std::vector<const char *>> lists[7];
};

namespace {

const char *c_string(const std::optional<std::string> &field) {
  return field ? field->c_str() : nullptr;
}

QorDistroInfo c_view(const qor::DistroInfo &info) {
  return {c_string(info.distributor), c_string(info.description), c_string(info.release),
          c_string(info.codename), info.valid};
}

QorConfiguration c_view(const qor::Configuration &config) {
  QorConfiguration view;
  int slot = 0;
  for (const auto *list : {&config.errors, &config.sources, &config.keys, &config.docs,
                           &config.INSTALL, &config.install, &config.upgrade}) {
    if (*list) {
      auto &strings = view.lists[slot].emplace();
      for (const std::string &value : **list) {
        strings.push_back(value.c_str());
      }
      strings.push_back(nullptr);
    }
    ++slot;
  }
  return view;
}

// The views of the library's records, made on first use. Records are never
// freed or changed, so neither are their views.
struct Views {
  std::mutex lock;
  std::map<const void *, const void *> of_record;
  std::set<const void *> all;
};

Views &views() {
  static auto *const all = new Views;
  return *all;
}

// The C view of record, made on first use.
template <typename Record>
const auto *view_of(const Record *record) {
  using View = decltype(c_view(*record));
  if (record == nullptr) {
    return static_cast<const View *>(nullptr);
  }
  Views &known = views();
  const std::lock_guard guard(known.lock);
  const void *&view = known.of_record[record];
  if (view == nullptr) {
    view = new View(c_view(*record));  // NOLINT(cppcoreguidelines-owning-memory): lives on
    known.all.insert(view);
  }
  return static_cast<const View *>(view);
}

bool is_library_record(const void *record) {
  Views &known = views();
  const std::lock_guard guard(known.lock);
  return known.all.contains(record);
}

// A configuration is opaque and lives as long as the process: a copy is the
// record itself.
gpointer same(gpointer record) { return record; }
void keep(gpointer /*record*/) {}

// A distribution record's fields are open to its holder, so a copy is a
// copy: what a caller changes or frees of its own is never the library's.
QorDistroInfo *copy_distro_info(const QorDistroInfo *info) {
  auto *copy = g_new0(QorDistroInfo, 1);
  copy->distributor = g_strdup(info->distributor);
  copy->description = g_strdup(info->description);
  copy->release = g_strdup(info->release);
  copy->codename = g_strdup(info->codename);
  copy->valid = info->valid;
  return copy;
}

// Frees a copy; the library's own record, freed by mistake, stays.
void free_distro_info(QorDistroInfo *info) {
  if (is_library_record(info)) {
    return;
  }
  for (const char *field : {info->distributor, info->description, info->release, info->codename}) {
    g_free(const_cast<char *>(field));
  }
  g_free(info);
}

const char *const *list(const QorConfiguration *config, int slot) {
  g_return_val_if_fail(config != nullptr, nullptr);
  return config->lists[slot] ? config->lists[slot]->data() : nullptr;
}

}  // namespace

G_DEFINE_BOXED_TYPE(QorDistroInfo, qor_distro_info, copy_distro_info, free_distro_info)
G_DEFINE_BOXED_TYPE(QorConfiguration, qor_configuration, same, keep)
G_DEFINE_ENUM_TYPE(QorHttpError, qor_http_error,
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_CANT_RESOLVE, "cant-resolve"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_CANT_RESOLVE_PROXY, "cant-resolve-proxy"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_CANT_CONNECT, "cant-connect"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_CANT_CONNECT_PROXY, "cant-connect-proxy"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_TLS_FAILED, "tls-failed"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_IO_ERROR, "io-error"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_MALFORMED, "malformed"),
                   G_DEFINE_ENUM_VALUE(QOR_HTTP_ERROR_TOO_MANY_REDIRECTS, "too-many-redirects"))

G_DEFINE_ENUM_TYPE(QorSignatureError, qor_signature_error,
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_MISSING, "missing"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_UNKNOWN_KEY, "unknown-key"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_BAD_FILE, "bad-file"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_BAD_COMMENT, "bad-comment"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_MALFORMED, "malformed"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_ROLLBACK, "rollback"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_WRONG_FILE, "wrong-file"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_NO_TIMESTAMP, "no-timestamp"),
                   G_DEFINE_ENUM_VALUE(QOR_SIGNATURE_ERROR_EXPIRED, "expired"))

// The C names are the C++ codes.
static_assert(int{QOR_SIGNATURE_ERROR_MISSING} == int{qor::kSignatureMissing} &&
              int{QOR_SIGNATURE_ERROR_NO_TIMESTAMP} == int{qor::kSignatureNoTimestamp} &&
              int{QOR_SIGNATURE_ERROR_EXPIRED} == int{qor::kSignatureExpired} &&
              int{QOR_HTTP_ERROR_CANT_RESOLVE} == int{qor::kHttpCantResolve} &&
              int{QOR_HTTP_ERROR_TOO_MANY_REDIRECTS} == int{qor::kHttpTooManyRedirects});

const QorDistroInfo *qor_get_distro_information(void) {
  return view_of(qor::get_distro_information());
}

const char *qor_get_config_url(void) { return qor::ConfigUrl; }

const QorConfiguration *qor_get_configuration(void) { return view_of(qor::get_configuration()); }

void qor_get_configuration_async(GCancellable *cancellable, GAsyncReadyCallback callback,
                                 gpointer user_data) {
  qor::get_configuration_async(cancellable, callback, user_data);
}

const QorConfiguration *qor_get_configuration_finish(GAsyncResult *result, GError **error) {
  return view_of(qor::get_configuration_finish(result, error));
}

const char *const *qor_configuration_get_errors(const QorConfiguration *config) {
  return list(config, 0);
}
const char *const *qor_configuration_get_sources(const QorConfiguration *config) {
  return list(config, 1);
}
const char *const *qor_configuration_get_keys(const QorConfiguration *config) {
  return list(config, 2);
}
const char *const *qor_configuration_get_docs(const QorConfiguration *config) {
  return list(config, 3);
}
const char *const *qor_configuration_get_INSTALL(const QorConfiguration *config) {
  return list(config, 4);
}
const char *const *qor_configuration_get_install(const QorConfiguration *config) {
  return list(config, 5);
}
const char *const *qor_configuration_get_upgrade(const QorConfiguration *config) {
  return list(config, 6);
}

int qor_compare_versions(const char *a, const char *b) {
  g_return_val_if_fail(a != nullptr && b != nullptr, 0);
  return qor::compare_versions(a, b);
}

GQuark qor_http_error_quark(void) { return qor::http_error_quark(); }

GQuark qor_signature_error_quark(void) { return qor::signature_error_quark(); }

gboolean qor_http_download_file(const char *url, const char *path, GCancellable *cancellable,
                                GError **error) {
  return qor::http_download_file(url, path, cancellable, error);
}
