/* The C interface of qor-config, for C callers and, through GObject
 * Introspection (namespace Qor, version 1.0), for Python, JavaScript and
 * Vala. It says what the C++ interface says: the records are the same
 * process-wide ones, owned by the library and never freed, and nothing a
 * call returns is for the caller to free but the GError. */
#pragma once

#include <gio/gio.h>

#include <qor/export.h>
#include <qor/version.h>

G_BEGIN_DECLS

/**
 * QorDistroInfo:
 * @distributor: (nullable): the distributor, as "Distributor ID" gives it
 * @description: (nullable): the free-text description
 * @release: (nullable): the release
 * @codename: (nullable): the codename
 * @valid: whether a probe has completed
 *
 * The running Linux distribution. A field the distribution did not give is
 * %NULL. The library's own record is never changed or freed; a copy
 * (g_boxed_copy(), or a #GValue holding one) has strings of its own and is
 * the caller's, freed with g_boxed_free().
 *
 * Since: 1.0
 */
typedef struct {
  const char *distributor;
  const char *description;
  const char *release;
  const char *codename;
  gboolean valid;
} QorDistroInfo;

#define QOR_TYPE_DISTRO_INFO (qor_distro_info_get_type())
QOR_EXPORT GType qor_distro_info_get_type(void) G_GNUC_CONST;

/**
 * qor_get_distro_information:
 *
 * Probes the distribution on the first call (lsb_release -a on PATH, else
 * /etc/fedora-release). Once a probe has completed every call returns the
 * same record; while none can, every call probes again and returns a record
 * whose fields are all %NULL and whose @valid is %FALSE.
 *
 * Returns: (transfer none): the record, never %NULL
 *
 * Since: 1.0
 */
QOR_EXPORT const QorDistroInfo *qor_get_distro_information(void);

/**
 * QorConfiguration:
 *
 * The seven lists of this distribution's section of the configuration file:
 * errors, sources, keys, docs, INSTALL, install and upgrade. A list is
 * %NULL when its slot is absent, which is not the same as empty: in a loaded
 * record every list but errors exists, and errors once the section has an e
 * line.
 *
 * Since: 1.0
 */
/* NOLINTNEXTLINE(bugprone-reserved-identifier): GLib's naming */
typedef struct _QorConfiguration QorConfiguration;

#define QOR_TYPE_CONFIGURATION (qor_configuration_get_type())
QOR_EXPORT GType qor_configuration_get_type(void) G_GNUC_CONST;

/**
 * qor_get_config_url:
 *
 * Where the configuration file is fetched from.
 *
 * Returns: (transfer none): where the configuration file is published,
 *   https://HOST/gfx/qor-config.cfg, the host fixed when the library was built
 *
 * Since: 1.0
 */
QOR_EXPORT const char *qor_get_config_url(void);

/**
 * qor_get_configuration:
 *
 * Loads the configuration on the first call: downloads the configuration
 * file into ~/.qor-config, reads it and parses this distribution's section;
 * prints the record to standard error on every call that has one. Blocks
 * until done, so a program whose window is up calls
 * qor_get_configuration_async() instead. Callers that come while a load runs
 * share its result.
 *
 * Returns: (transfer none) (nullable): the record, or %NULL when the file
 *   could not be had (a warning says why); the next call then tries again
 *
 * Since: 1.0
 */
QOR_EXPORT const QorConfiguration *qor_get_configuration(void);

/**
 * qor_get_configuration_async:
 * @cancellable: (nullable): to give up waiting
 * @callback: (scope async): called in the thread-default main context of the
 *   calling thread when the load is done
 * @user_data: (closure): for @callback
 *
 * Starts what qor_get_configuration() does and returns without waiting for
 * it. The first call of a process loads the modules a load needs before it
 * returns, so that the process may end while the load runs.
 * Cancelling gives this caller %G_IO_ERROR_CANCELLED at once; a load no one
 * waits for any more is stopped and leaves the local copy as it was.
 *
 * Since: 1.0
 */
QOR_EXPORT void qor_get_configuration_async(GCancellable *cancellable, GAsyncReadyCallback callback,
                                            gpointer user_data);

/**
 * qor_get_configuration_finish:
 * @result: what @callback was given
 * @error: where the reason goes when there is no record
 *
 * Finishes qor_get_configuration_async().
 *
 * Returns: (transfer none): the record, or %NULL with @error set: in the
 *   #QorHttpError domain when the download failed, the #QorSignatureError
 *   domain when its signature could not be fetched or was refused, a
 *   #GIOErrorEnum for the local file or a cancellation
 *
 * Since: 1.0
 */
QOR_EXPORT const QorConfiguration *qor_get_configuration_finish(GAsyncResult *result,
                                                                GError **error);

/**
 * qor_configuration_get_errors:
 * @config: a record
 *
 * The errors list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the errors
 *   list, or %NULL when the section has no e line
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_errors(const QorConfiguration *config);

/**
 * qor_configuration_get_sources:
 * @config: a record
 *
 * The sources list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the sources
 *   list (s lines)
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_sources(const QorConfiguration *config);

/**
 * qor_configuration_get_keys:
 * @config: a record
 *
 * The keys list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the keys list
 *   (g lines)
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_keys(const QorConfiguration *config);

/**
 * qor_configuration_get_docs:
 * @config: a record
 *
 * The docs list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the docs list
 *   (d lines)
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_docs(const QorConfiguration *config);

/**
 * qor_configuration_get_INSTALL:
 * @config: a record
 *
 * The INSTALL list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the INSTALL
 *   list (I lines)
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_INSTALL(const QorConfiguration *config);

/**
 * qor_configuration_get_install:
 * @config: a record
 *
 * The install list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the install
 *   list (i lines)
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_install(const QorConfiguration *config);

/**
 * qor_configuration_get_upgrade:
 * @config: a record
 *
 * The upgrade list of the section.
 *
 * Returns: (transfer none) (array zero-terminated=1) (nullable): the upgrade
 *   list (u lines)
 *
 * Since: 1.0
 */
QOR_EXPORT const char *const *qor_configuration_get_upgrade(const QorConfiguration *config);

/**
 * qor_compare_versions:
 * @a: a version, such as a kernel release
 * @b: another
 *
 * Orders two versions component by component (split at '.', ':' and '-';
 * numbers by value, other components byte by byte).
 *
 * Returns: a negative number when @a orders before @b, 0 when they are
 *   equal, a positive number after
 *
 * Since: 1.0
 */
QOR_EXPORT int qor_compare_versions(const char *a, const char *b);

/**
 * QorHttpError:
 * @QOR_HTTP_ERROR_CANT_RESOLVE: the host name could not be resolved
 * @QOR_HTTP_ERROR_CANT_RESOLVE_PROXY: the proxy's host name could not be resolved
 * @QOR_HTTP_ERROR_CANT_CONNECT: the server could not be reached
 * @QOR_HTTP_ERROR_CANT_CONNECT_PROXY: the proxy could not be reached
 * @QOR_HTTP_ERROR_TLS_FAILED: the TLS handshake failed (an untrusted certificate)
 * @QOR_HTTP_ERROR_IO_ERROR: the connection ended early, or a body came cut short
 * @QOR_HTTP_ERROR_MALFORMED: not an http or https URL, or an answer that
 *   cannot be read
 * @QOR_HTTP_ERROR_TOO_MANY_REDIRECTS: more than 20 redirections
 *
 * The "HTTP" error domain of the download. Besides these codes below 100,
 * an unsuccessful response's error has its HTTP status as code and its
 * reason phrase as message.
 *
 * Since: 1.0
 */
typedef enum {
  QOR_HTTP_ERROR_CANT_RESOLVE = 2,
  QOR_HTTP_ERROR_CANT_RESOLVE_PROXY = 3,
  QOR_HTTP_ERROR_CANT_CONNECT = 4,
  QOR_HTTP_ERROR_CANT_CONNECT_PROXY = 5,
  QOR_HTTP_ERROR_TLS_FAILED = 6,
  QOR_HTTP_ERROR_IO_ERROR = 7,
  QOR_HTTP_ERROR_MALFORMED = 8,
  QOR_HTTP_ERROR_TOO_MANY_REDIRECTS = 10,
} QorHttpError;

#define QOR_HTTP_ERROR (qor_http_error_quark())
/**
 * qor_http_error_quark:
 *
 * The "HTTP" error domain of the download.
 *
 * Returns: the domain's quark, that of g_quark_from_static_string("HTTP")
 *
 * Since: 1.0
 */
QOR_EXPORT GQuark qor_http_error_quark(void);
QOR_EXPORT GType qor_http_error_get_type(void) G_GNUC_CONST;

/**
 * QorSignatureError:
 * @QOR_SIGNATURE_ERROR_MISSING: the signature could not be fetched
 * @QOR_SIGNATURE_ERROR_UNKNOWN_KEY: made with a key the build does not trust
 * @QOR_SIGNATURE_ERROR_BAD_FILE: the file is not the one that was signed
 * @QOR_SIGNATURE_ERROR_BAD_COMMENT: the trusted comment is not the one signed
 * @QOR_SIGNATURE_ERROR_MALFORMED: not a signature file
 * @QOR_SIGNATURE_ERROR_ROLLBACK: older than the signature kept from the last
 *   download
 * @QOR_SIGNATURE_ERROR_WRONG_FILE: the trusted comment names another file
 * @QOR_SIGNATURE_ERROR_NO_TIMESTAMP: the trusted comment has no timestamp
 * @QOR_SIGNATURE_ERROR_EXPIRED: the clock is past the trusted comment's
 *   expires:N, so the server may be frozen on a file its publisher replaced
 *
 * Why a load refused the file, in a build that trusts signing keys.
 *
 * Since: 1.0
 */
typedef enum {
  QOR_SIGNATURE_ERROR_MISSING = 1,
  QOR_SIGNATURE_ERROR_UNKNOWN_KEY = 2,
  QOR_SIGNATURE_ERROR_BAD_FILE = 3,
  QOR_SIGNATURE_ERROR_BAD_COMMENT = 4,
  QOR_SIGNATURE_ERROR_MALFORMED = 5,
  QOR_SIGNATURE_ERROR_ROLLBACK = 6,
  QOR_SIGNATURE_ERROR_WRONG_FILE = 7,
  QOR_SIGNATURE_ERROR_NO_TIMESTAMP = 8,
  QOR_SIGNATURE_ERROR_EXPIRED = 9,
} QorSignatureError;

#define QOR_SIGNATURE_ERROR (qor_signature_error_quark())
/**
 * qor_signature_error_quark:
 *
 * The error domain of a refused signature.
 *
 * Returns: the domain's quark, that of
 *   g_quark_from_static_string("qor-signature-error")
 *
 * Since: 1.0
 */
QOR_EXPORT GQuark qor_signature_error_quark(void);
QOR_EXPORT GType qor_signature_error_get_type(void) G_GNUC_CONST;

/**
 * qor_http_download_file:
 * @url: an http or https URL
 * @path: the local file to replace with the response body
 * @cancellable: (nullable): to stop the download
 * @error: where the reason goes on failure
 *
 * Fetches @url with a blocking GET and replaces the file at @path with the
 * body, all of it or nothing: on failure the file stays as it was.
 *
 * Returns: %TRUE when the final response was successful and its whole body
 *   is in place
 *
 * Since: 1.0
 */
QOR_EXPORT gboolean qor_http_download_file(const char *url, const char *path,
                                           GCancellable *cancellable, GError **error);

G_END_DECLS
