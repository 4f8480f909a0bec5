// A certificate database that hands every question to another: the way to
// the system's authorities with their trust list built once a process.
// glib-networking builds a trust list of its own into a TLS connection's
// credentials whenever the connection's database is one of its own class,
// the default database among them: the system's bundle parsed again for
// every connection. Given any other database it verifies the peer through
// that database's verify_chain, which this one forwards to the database it
// wraps; so the answers, and the errors, are that database's.
#pragma once

#include <gio/gio.h>

#include "base/glib_ptr.h"

namespace qor {

// A database that verifies and looks up as authorities does, or as the TLS
// backend's default database does where authorities is null; authorities
// itself where it already forwards. Null only where there is no database.
GObjectPtr<GTlsDatabase> forwarding_database(GTlsDatabase *authorities);

// Makes the TLS backend's default database a forwarding one over the
// database it had, so that connections made before they are given a
// database do not build a trust list either. This changes the whole
// process: only for a program's own code, never the library's in a
// caller's process, whose default database is the caller's.
void forward_default_database();

}  // namespace qor
