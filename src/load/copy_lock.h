// The lock that orders this user's loads where they put a signed pair in
// place or read it back.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <optional>
#include <string>

#include "base/descriptor.h"

namespace qor {

// Where the lock of the local copy at path is: path + ".lock", a file of the
// library's own, made 0600 and kept.
std::string lock_path(const std::string &path);

// How long a load waits for another to let go of the lock. Only this user's
// own loads take it, each for a read or two renames of local files.
inline constexpr std::chrono::seconds kLockWait{30};

// Takes the exclusive lock of the local copy at path, held until the
// descriptor goes, waiting for it at most wait and no longer than
// cancellable allows. The lock is a flock on lock_path(path), opened without
// following a link or waiting on a FIFO, and refused unless it is a regular
// file of this user's, which no other user can then open: a lock on the home
// folder itself could be held by anyone who can open the folder. Where no
// lock file can be made because the folder cannot be written, or where the
// file system cannot lock, nothing is locked: no load of this user can
// write the pair there either, or none could before. nullopt with error
// set otherwise: G_IO_ERROR_CANCELLED, or a GIO error naming the lock file
// (G_IO_ERROR_BUSY where another load held it for all of wait).
std::optional<Descriptor> lock_copy(const std::string &path, std::chrono::milliseconds wait,
                                    GCancellable *cancellable, GError **error);

}  // namespace qor
