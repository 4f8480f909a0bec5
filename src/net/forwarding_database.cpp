#include "net/forwarding_database.h"

#include <memory>
#include <utility>

namespace qor {

namespace {

struct QorForwardingDatabase {
  GTlsDatabase parent_instance;
  GObjectPtr<GTlsDatabase> inner;  // made in init, destroyed in finalize
};

struct QorForwardingDatabaseClass {
  GTlsDatabaseClass parent_class;
};

G_DEFINE_TYPE(QorForwardingDatabase, qor_forwarding_database, G_TYPE_TLS_DATABASE)

GTlsDatabase *inner_of(GTlsDatabase *database) {
  return reinterpret_cast<QorForwardingDatabase *>(database)->inner.get();
}

GTlsCertificateFlags verify_chain(GTlsDatabase *database, GTlsCertificate *chain,
                                  const char *purpose, GSocketConnectable *identity,
                                  GTlsInteraction *interaction, GTlsDatabaseVerifyFlags flags,
                                  GCancellable *cancellable, GError **error) {
  return g_tls_database_verify_chain(inner_of(database), chain, purpose, identity, interaction,
                                     flags, cancellable, error);
}

char *create_certificate_handle(GTlsDatabase *database, GTlsCertificate *certificate) {
  return g_tls_database_create_certificate_handle(inner_of(database), certificate);
}

GTlsCertificate *lookup_certificate_for_handle(GTlsDatabase *database, const char *handle,
                                               GTlsInteraction *interaction,
                                               GTlsDatabaseLookupFlags flags,
                                               GCancellable *cancellable, GError **error) {
  return g_tls_database_lookup_certificate_for_handle(inner_of(database), handle, interaction,
                                                      flags, cancellable, error);
}

GTlsCertificate *lookup_certificate_issuer(GTlsDatabase *database, GTlsCertificate *certificate,
                                           GTlsInteraction *interaction,
                                           GTlsDatabaseLookupFlags flags, GCancellable *cancellable,
                                           GError **error) {
  return g_tls_database_lookup_certificate_issuer(inner_of(database), certificate, interaction,
                                                  flags, cancellable, error);
}

GList *lookup_certificates_issued_by(GTlsDatabase *database, GByteArray *issuer,
                                     GTlsInteraction *interaction, GTlsDatabaseLookupFlags flags,
                                     GCancellable *cancellable, GError **error) {
  return g_tls_database_lookup_certificates_issued_by(inner_of(database), issuer, interaction,
                                                      flags, cancellable, error);
}

void qor_forwarding_database_init(QorForwardingDatabase *self) { std::construct_at(&self->inner); }

void finalize(GObject *object) {
  std::destroy_at(&reinterpret_cast<QorForwardingDatabase *>(object)->inner);
  G_OBJECT_CLASS(qor_forwarding_database_parent_class)->finalize(object);
}

// The asynchronous calls are GTlsDatabase's own, which run these on a thread.
void qor_forwarding_database_class_init(QorForwardingDatabaseClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = finalize;
  GTlsDatabaseClass *database = G_TLS_DATABASE_CLASS(klass);
  database->verify_chain = verify_chain;
  database->create_certificate_handle = create_certificate_handle;
  database->lookup_certificate_for_handle = lookup_certificate_for_handle;
  database->lookup_certificate_issuer = lookup_certificate_issuer;
  database->lookup_certificates_issued_by = lookup_certificates_issued_by;
}

}  // namespace

GObjectPtr<GTlsDatabase> forwarding_database(GTlsDatabase *authorities) {
  GObjectPtr<GTlsDatabase> inner(
      authorities != nullptr ? G_TLS_DATABASE(g_object_ref(authorities))
                             : g_tls_backend_get_default_database(g_tls_backend_get_default()));
  if (inner == nullptr ||
      G_TYPE_CHECK_INSTANCE_TYPE(inner.get(), qor_forwarding_database_get_type())) {
    return inner;
  }
  auto *made = static_cast<QorForwardingDatabase *>(
      g_object_new(qor_forwarding_database_get_type(), nullptr));
  made->inner = std::move(inner);
  return GObjectPtr<GTlsDatabase>(G_TLS_DATABASE(made));
}

void forward_default_database() {
  if (const GObjectPtr<GTlsDatabase> forwarding = forwarding_database(nullptr)) {
    g_tls_backend_set_default_database(g_tls_backend_get_default(), forwarding.get());
  }
}

}  // namespace qor
