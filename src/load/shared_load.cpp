#include "load/shared_load.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/glib_ptr.h"
#include "config/section.h"

namespace qor {

namespace {

using GSourcePtr = std::unique_ptr<GSource, FreeWith<g_source_unref>>;

// An asynchronous caller waiting for a load, with the source that tells it
// of its cancellation.
struct Waiter {
  GObjectPtr<GTask> task;
  GSourcePtr cancelled;
};

// A load under way and who waits for it.
struct Load {
  // Cancelled once no one waits for the load any more.
  GObjectPtr<GCancellable> cancellable{g_cancellable_new()};
  int blocked = 0;              // callers blocked in get_or_load
  std::vector<Waiter> waiters;  // asynchronous callers
  bool done = false;
  const Configuration *record = nullptr;
  GErrorPtr error;  // why there is no record
};

// Made once and never freed: a load may still be under way when the
// process ends.
struct Loads {
  std::mutex mutex;
  std::condition_variable finished;
  std::shared_ptr<Load> current;  // the load new callers join
};

Loads &loads() {
  static Loads *const all = new Loads;
  return *all;
}

// The record, once loaded; made with new and never deleted, since callers
// may hold it until the very end of the process.
std::atomic<const Configuration *> loaded{nullptr};

void dump(const Configuration &config) {
  const std::string text = format_configuration(config);
  (void)std::fwrite(text.data(), 1, text.size(), stderr);
}

// The process's record: config, unless a load that was given up on still
// made one first.
const Configuration *publish(std::optional<Configuration> config) {
  if (!config) {
    return nullptr;
  }
  auto made = std::make_unique<Configuration>(std::move(*config));
  const Configuration *first = nullptr;
  if (loaded.compare_exchange_strong(first, made.get(), std::memory_order_acq_rel)) {
    return made.release();  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks): lives on
  }
  return first;
}

// Returns the load's result to one waiter. Runs in the waiter's own main
// context, where its task and its cancellation source are released too.
void return_result(Waiter &waiter, const Load &load) {
  if (waiter.cancelled) {
    g_source_destroy(waiter.cancelled.get());
  }
  if (load.record != nullptr) {
    dump(*load.record);
    g_task_return_pointer(waiter.task.get(), const_cast<Configuration *>(load.record), nullptr);
  } else {
    g_task_return_error(waiter.task.get(), g_error_copy(load.error.get()));
  }
}

// A result on its way to a waiter, owned by the source that carries it.
struct Delivery {
  Waiter waiter;
  std::shared_ptr<Load> load;
};

// Hands the result to the waiter in the waiter's main context, so that the
// caller's task (and whatever the caller hung on it) is never released on the
// load's thread: a caller in another language may take its own lock to
// release it, which a thread of ours must never do, least of all while the
// process exits. Once attached, nothing of the waiter is left here.
void deliver(Waiter waiter, const std::shared_ptr<Load> &load) {
  GMainContext *context = g_task_get_context(waiter.task.get());
  const GSourcePtr source(g_idle_source_new());
  g_source_set_priority(source.get(), G_PRIORITY_DEFAULT);
  g_source_set_callback(
      source.get(),
      [](gpointer data) {
        auto *delivery = static_cast<Delivery *>(data);
        return_result(delivery->waiter, *delivery->load);
        return G_SOURCE_REMOVE;
      },
      new Delivery{std::move(waiter), load},
      [](gpointer data) { delete static_cast<Delivery *>(data); });
  g_source_attach(source.get(), context);
}

// Hands the result of load to everyone who waits for it.
void finish(const std::shared_ptr<Load> &load, const Configuration *record, GError *error) {
  std::vector<Waiter> waiters;
  {
    const std::lock_guard lock(loads().mutex);
    load->done = true;
    load->record = record;
    load->error.reset(error);
    if (loads().current == load) {
      loads().current.reset();
    }
    waiters.swap(load->waiters);
  }
  loads().finished.notify_all();
  for (Waiter &waiter : waiters) {
    deliver(std::move(waiter), load);
  }
}

// Whatever becomes of the load, its waiters hear of it: an exception (no
// memory) would otherwise leave them waiting for ever.
void run(const std::shared_ptr<Load> &load, const LoadFunction &function) {
  GError *error = nullptr;
  try {
    const Configuration *record = publish(function(load->cancellable.get(), &error));
    finish(load, record, record != nullptr ? nullptr : error);
  } catch (const std::exception &failure) {
    g_clear_error(&error);
    finish(load, nullptr,
           g_error_new(G_IO_ERROR, G_IO_ERROR_FAILED, "Loading the configuration failed: %s",
                       failure.what()));
  }
}

void run_on_own_thread(const std::shared_ptr<Load> &load, LoadFunction function) {
  try {
    std::thread([load, function = std::move(function)] { run(load, function); }).detach();
  } catch (const std::exception &) {
    finish(load, nullptr,
           g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED,
                               "No thread could be started to load the configuration on"));
  }
}

// The load under way, or a new one when there is none; true when new.
std::pair<std::shared_ptr<Load>, bool> join_or_begin() {
  if (loads().current) {
    return {loads().current, false};
  }
  loads().current = std::make_shared<Load>();
  return {loads().current, true};
}

// The caller of task gives up waiting: it gets its error at once, and a load
// no one waits for any more is cancelled and no longer joined.
gboolean give_up(GCancellable *cancellable, gpointer data) {
  GTask *task = G_TASK(data);
  const auto &load = *static_cast<std::shared_ptr<Load> *>(g_task_get_task_data(task));
  bool abandoned = false;
  {
    const std::lock_guard lock(loads().mutex);
    const auto waiter = std::find_if(load->waiters.begin(), load->waiters.end(),
                                     [task](const Waiter &w) { return w.task.get() == task; });
    if (waiter == load->waiters.end()) {
      return G_SOURCE_REMOVE;  // the result is on its way
    }
    load->waiters.erase(waiter);  // the source still holds task
    abandoned = load->waiters.empty() && load->blocked == 0;
    if (abandoned && loads().current == load) {
      loads().current.reset();
    }
  }
  if (abandoned) {
    g_cancellable_cancel(load->cancellable.get());
  }
  GError *error = nullptr;
  g_cancellable_set_error_if_cancelled(cancellable, &error);
  g_task_return_error(task, error);
  return G_SOURCE_REMOVE;
}

// Puts task among the callers that wait for load.
void wait_async(GTask *task, const std::shared_ptr<Load> &load) {
  g_task_set_task_data(task, new std::shared_ptr<Load>(load),
                       [](gpointer data) { delete static_cast<std::shared_ptr<Load> *>(data); });
  Waiter waiter{GObjectPtr<GTask>(G_TASK(g_object_ref(task))), nullptr};
  if (GCancellable *cancellable = g_task_get_cancellable(task)) {
    waiter.cancelled.reset(g_cancellable_source_new(cancellable));
    g_task_attach_source(task, waiter.cancelled.get(), G_SOURCE_FUNC(give_up));
  }
  load->waiters.push_back(std::move(waiter));
}

// The record, or the result of the load under way or of one run here.
const Configuration *wait_or_run(const LoadFunction &function) {
  std::unique_lock lock(loads().mutex);
  if (const Configuration *record = loaded.load(std::memory_order_acquire)) {
    return record;
  }
  const auto [load, mine] = join_or_begin();
  ++load->blocked;
  if (mine) {
    lock.unlock();
    run(load, function);
    lock.lock();
  }
  loads().finished.wait(lock, [&load = load] { return load->done; });
  --load->blocked;
  return load->record;
}

}  // namespace

const Configuration *get_or_load(const LoadFunction &load) {
  const Configuration *record = loaded.load(std::memory_order_acquire);
  if (record == nullptr) {
    record = wait_or_run(load);
  }
  if (record != nullptr) {
    dump(*record);
  }
  return record;
}

void get_or_load_async(GTask *task, LoadFunction function) {
  const Configuration *record = nullptr;
  std::pair<std::shared_ptr<Load>, bool> joined;  // the load waited for; true when new
  {
    const std::lock_guard lock(loads().mutex);
    record = loaded.load(std::memory_order_acquire);
    if (record == nullptr && !g_cancellable_is_cancelled(g_task_get_cancellable(task))) {
      joined = join_or_begin();
      wait_async(task, joined.first);
    }
  }
  if (record != nullptr) {
    dump(*record);
    g_task_return_pointer(task, const_cast<Configuration *>(record), nullptr);
  } else if (!joined.first) {
    g_task_return_error_if_cancelled(task);
  } else if (joined.second) {
    run_on_own_thread(joined.first, std::move(function));
  }
}

}  // namespace qor
