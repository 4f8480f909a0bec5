// The error box on a real X server: Xvfb, started here on a free display.
#include "ui/display_error.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>

#include "test_util.h"

// Fontconfig keeps what it loads for the life of the process on purpose;
// under LeakSanitizer that would bury any real leak of the box.
extern "C" const char *__lsan_default_suppressions() {  // NOLINT(bugprone-reserved-identifier)
  return "leak:libfontconfig.so\n";
}

namespace {

// Starts Xvfb on a display it picks (-displayfd) and returns ":N", or "".
std::string start_xvfb(GPid &pid) {
  g_autofree char *program = g_find_program_in_path("Xvfb");
  const char *argv[] = {program, "-displayfd", "1", "-nolisten", "tcp", nullptr};
  int out = -1;
  if (program == nullptr ||
      !g_spawn_async_with_pipes(
          nullptr, const_cast<char **>(argv), nullptr,
          static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
          nullptr, &pid, nullptr, &out, nullptr, nullptr)) {
    return {};
  }
  std::string number;
  char c = 0;
  pollfd ready{out, POLLIN, 0};
  while (poll(&ready, 1, 10000) == 1 && read(out, &c, 1) == 1 && c != '\n') {
    number += c;
  }
  close(out);
  return c == '\n' && !number.empty() ? ":" + number : std::string();
}

// What the test saw of the box while display_error waited.
struct Seen {
  GtkWidget *dialog = nullptr;  // weak: null again once the box is finalised
  GtkMessageType type = GTK_MESSAGE_OTHER;
  std::string text;
  std::vector<std::pair<std::string, int>> buttons;  // label, response
  GtkWindow *transient_for = nullptr;
  bool destroy_with_parent = true;
  bool destroyed = false;
  bool modal_when_destroyed = true;
  bool found = false;
  bool by_window_manager = false;  // closed as its title bar's button does
};

void collect_buttons(GtkWidget *widget, gpointer seen) {
  if (GTK_IS_BUTTON(widget)) {
    const char *label = gtk_button_get_label(GTK_BUTTON(widget));
    GtkDialog *dialog = GTK_DIALOG(gtk_widget_get_toplevel(widget));
    static_cast<Seen *>(seen)->buttons.emplace_back(
        label != nullptr ? label : "", gtk_dialog_get_response_for_widget(dialog, widget));
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), collect_buttons, seen);
  }
}

GtkWidget *find_message_dialog() {
  g_autoptr(GList) toplevels = gtk_window_list_toplevels();
  for (GList *item = toplevels; item != nullptr; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      return GTK_WIDGET(item->data);
    }
  }
  return nullptr;
}

guint count_toplevels() {
  g_autoptr(GList) toplevels = gtk_window_list_toplevels();
  return g_list_length(toplevels);
}

gboolean record_and_close(gpointer data) {
  auto &seen = *static_cast<Seen *>(data);
  GtkWidget *dialog = find_message_dialog();
  if (dialog == nullptr) {
    return G_SOURCE_CONTINUE;
  }
  seen.found = true;
  seen.dialog = dialog;
  g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer *>(&seen.dialog));
  g_autofree char *text = nullptr;
  g_object_get(dialog, "message-type", &seen.type, "text", &text, nullptr);
  seen.text = text != nullptr ? text : "";
  gtk_container_forall(GTK_CONTAINER(dialog), collect_buttons, &seen);
  seen.transient_for = gtk_window_get_transient_for(GTK_WINDOW(dialog));
  seen.destroy_with_parent = gtk_window_get_destroy_with_parent(GTK_WINDOW(dialog));
  g_signal_connect(dialog, "destroy", G_CALLBACK(+[](GtkWidget *box, Seen *s) {
                     s->destroyed = true;
                     s->modal_when_destroyed = gtk_window_get_modal(GTK_WINDOW(box));
                   }),
                   &seen);
  if (seen.by_window_manager) {
    gtk_window_close(GTK_WINDOW(dialog));
  } else {
    gtk_button_clicked(
        GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE)));
  }
  return G_SOURCE_REMOVE;
}

class DisplayErrorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ = start_xvfb(xvfb_);
    if (!display_.empty()) {
      g_setenv("DISPLAY", display_.c_str(), TRUE);
      g_setenv("GDK_BACKEND", "x11", TRUE);
      g_setenv("NO_AT_BRIDGE", "1", TRUE);  // no accessibility bus to wait for
      g_setenv("LANGUAGE", "C", TRUE);      // button labels as written
      gtk_ready_ = gtk_init_check(nullptr, nullptr);
    }
  }
  static void TearDownTestSuite() {
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
    }
  }
  void SetUp() override {
    if (display_.empty()) {
      GTEST_SKIP() << "no Xvfb could be started (Debian package xvfb)";
    }
    ASSERT_TRUE(gtk_ready_) << "GTK could not open " << display_;
  }

  // Calls show() and, once the box is up, records it and closes it.
  static Seen run(const std::function<void()> &show, bool by_window_manager = false) {
    Seen seen;
    seen.by_window_manager = by_window_manager;
    const guint poller = g_timeout_add(20, record_and_close, &seen);
    // A box that ignores its Close button must fail the test, not hang it.
    const guint rescue = g_timeout_add_seconds(
        10,
        [](gpointer) -> gboolean {
          ADD_FAILURE() << "display_error still waiting after the box was closed";
          if (GtkWidget *dialog = find_message_dialog()) {
            gtk_widget_destroy(dialog);
          }
          return G_SOURCE_CONTINUE;
        },
        nullptr);
    show();
    g_source_remove(rescue);
    if (!seen.found) {
      g_source_remove(poller);
    }
    if (seen.dialog != nullptr) {  // outlived the call: stop watching it
      g_object_remove_weak_pointer(G_OBJECT(seen.dialog),
                                   reinterpret_cast<gpointer *>(&seen.dialog));
    }
    return seen;
  }

  static inline GPid xvfb_ = 0;
  static inline std::string display_;
  static inline bool gtk_ready_ = false;
};

TEST_F(DisplayErrorTest, ShowsOneErrorBoxUntilClosed) {
  const Seen seen = run([] { qor::display_error(nullptr, "%s", "100% %s %d %n"); });
  ASSERT_TRUE(seen.destroyed) << "no box appeared";
  EXPECT_EQ(seen.dialog, nullptr) << "the box outlived the call";
  EXPECT_EQ(count_toplevels(), 0U);
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.text, "100% %s %d %n");
  EXPECT_EQ(seen.buttons, (decltype(seen.buttons){{"_Close", GTK_RESPONSE_CLOSE}}));
  EXPECT_EQ(seen.transient_for, nullptr);

  const Seen deleted = run([] { qor::display_error(nullptr, "%d%% of %s", 42, "caf\xe9"); }, true);
  EXPECT_TRUE(deleted.destroyed);
  EXPECT_EQ(deleted.text, "42% of caf\xef\xbf\xbd");
  EXPECT_EQ(count_toplevels(), 0U);
}

TEST_F(DisplayErrorTest, BelongsToItsParentWithoutBeingBoundToIt) {
  GtkWidget *parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(parent);
  const Seen seen = run([parent] { qor::display_error(GTK_WINDOW(parent), "over a window"); });
  EXPECT_EQ(seen.transient_for, GTK_WINDOW(parent));
  EXPECT_FALSE(seen.destroy_with_parent);
  // Modal only while display_error runs the box, not by its own flag.
  EXPECT_FALSE(seen.modal_when_destroyed);
  EXPECT_EQ(count_toplevels(), 1U);
  gtk_widget_destroy(parent);
}

TEST(DisplayErrorWithoutDisplayTest, LogsTheMessageInsteadOfAborting) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        qor::display_error(nullptr, "Config not found at %s", "https://h/x.cfg");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "No display to show this error on: Config not found at https://h/x.cfg");
}

}  // namespace
