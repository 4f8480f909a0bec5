// The load shared by every caller, as asynchronous callers meet it.
#include "load/shared_load.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace qor {
namespace {

// What became of one caller's task.
struct Seen {
  std::atomic<bool> called = false;
  std::atomic<bool> released = false;
  std::atomic<std::thread::id> released_on;
};

// The callers' tasks, with what they hung on them, are released in their own
// main context, never on the load's thread (a Python caller takes its lock to
// release one); with many callers, some are answered while the load still
// hands the result to others.
TEST(SharedLoadTest, CallersTasksAreReleasedOnTheirOwnThread) {
  std::vector<Seen> seen(1000);
  std::atomic<bool> all_waiting = false;
  for (Seen &one : seen) {
    GTask *task = g_task_new(
        nullptr, nullptr,
        [](GObject *, GAsyncResult *, gpointer data) { static_cast<Seen *>(data)->called = true; },
        &one);
    g_object_set_data_full(G_OBJECT(task), "seen", &one, [](gpointer data) {
      auto *state = static_cast<Seen *>(data);
      state->released_on = std::this_thread::get_id();
      state->released = true;
      g_main_context_wakeup(nullptr);
    });
    get_or_load_async(task, [&all_waiting](GCancellable *, GError **) {
      all_waiting.wait(false);
      return std::optional(Configuration{});
    });
    g_object_unref(task);  // the caller keeps no reference of its own
  }
  all_waiting = true;
  all_waiting.notify_one();
  for (const Seen &one : seen) {
    while (!one.released) {
      g_main_context_iteration(nullptr, TRUE);
    }
    EXPECT_TRUE(one.called);
    EXPECT_EQ(one.released_on.load(), std::this_thread::get_id());
  }
}

}  // namespace
}  // namespace qor
