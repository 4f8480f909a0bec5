// Loading the process-wide configuration once for every caller that waits
// for it: blocking callers on their own threads, asynchronous ones on no
// thread at all until the load is done.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <optional>

#include <qor/configuration.hpp>

namespace qor {

// One load: the record, or nullopt with error set (a reason it has logged,
// or G_IO_ERROR_CANCELLED once cancellable was cancelled).
using LoadFunction = std::function<std::optional<Configuration>(GCancellable *, GError **)>;

// The record, made by load unless one exists or a load is under way, whose
// result the caller then shares; nullptr when the load it waited for failed.
// Blocks until then.
const Configuration *get_or_load(const LoadFunction &load);

// As get_or_load, for task (a GTask of get_configuration_async): the load
// runs on a thread of its own, and task returns the record or the load's
// error. A caller that waits holds no thread. Cancelling task's cancellable
// returns G_IO_ERROR_CANCELLED to it at once; the load goes on for the
// others, and is cancelled when no one waits for it any more.
void get_or_load_async(GTask *task, LoadFunction load);

}  // namespace qor
