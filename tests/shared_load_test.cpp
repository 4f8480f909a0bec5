// The load shared by every caller, as asynchronous callers meet it.
#include "load/shared_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "test_util.h"

namespace qor {
namespace {

// What became of a caller's task: its error's message ("" for the record),
// and the thread that released it.
struct Seen {
  std::optional<std::string> error;
  std::atomic<std::thread::id> released_on;
};

// Starts a task for load, seen hung on it, of a caller that keeps no reference.
void start(Seen &seen, GCancellable *cancellable, LoadFunction load) {
  GTask *task = g_task_new(
      nullptr, cancellable,
      [](GObject *, GAsyncResult *result, gpointer data) {
        g_autoptr(GError) error = nullptr;
        g_task_propagate_pointer(G_TASK(result), &error);
        static_cast<Seen *>(data)->error = error != nullptr ? error->message : "";
      },
      &seen);
  g_task_set_check_cancellable(task, FALSE);
  g_object_set_data_full(G_OBJECT(task), "seen", &seen, [](gpointer data) {
    static_cast<Seen *>(data)->released_on = std::this_thread::get_id();
  });
  get_or_load_async(task, std::move(load));
  g_object_unref(task);
}

// Whether every task of seen is released on this thread within five seconds.
bool released_here(const std::vector<Seen> &seen) {
  test::eventually([&seen] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    return std::ranges::none_of(
        seen, [](const Seen &one) { return one.released_on.load() == std::thread::id(); });
  });
  return std::ranges::all_of(
      seen, [](const Seen &one) { return one.released_on.load() == std::this_thread::get_id(); });
}

// The callers' tasks, with what they hung on them, are released in their own
// main context, never on the load's thread (a Python caller takes its lock to
// release one), nor held back by a cancellable that never fires; with many
// callers, some are answered while the load still hands the result to
// others. Before, a load that throws (no memory) fails, and makes no record.
TEST(SharedLoadTest, CallersTasksAreReleasedOnTheirOwnThread) {
  std::vector<Seen> thrown(1);
  start(thrown[0], nullptr,
        [](GCancellable *, GError **) -> std::optional<Configuration> { throw std::bad_alloc(); });
  EXPECT_TRUE(released_here(thrown));
  EXPECT_EQ(thrown[0].error, "Loading the configuration failed: std::bad_alloc");
  std::vector<Seen> seen(1000);
  std::atomic<bool> all_waiting = false;
  g_autoptr(GCancellable) never = g_cancellable_new();
  for (std::size_t i = 0; i < seen.size(); ++i) {
    start(seen[i], i % 2 == 0 ? never : nullptr, [&all_waiting](GCancellable *, GError **) {
      all_waiting.wait(false);
      return std::optional(Configuration{});
    });
  }
  all_waiting = true;
  all_waiting.notify_one();
  EXPECT_TRUE(released_here(seen));
  EXPECT_TRUE(std::ranges::all_of(seen, [](const Seen &one) { return one.error == ""; }));
}

}  // namespace
}  // namespace qor
