// The error box on a real X server (xvfb-run), built once against each GTK.
#define GDK_DISABLE_DEPRECATION_WARNINGS  // GTK 4.10 deprecates the dialog read here
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <qor/display_error.h>

// Fontconfig keeps what it loads for the life of the process, on purpose.
extern "C" const char *__lsan_default_suppressions() {  // NOLINT(bugprone-reserved-identifier)
  return "leak:libfontconfig.so\n";
}

namespace {

// What a poller found of the box, after it closed it, or destroyed it as its application might.
struct Visit {
  bool destroy = false;
  std::string seen;
};

// Polled from the box's own loop until there is a box.
gboolean visit_box(gpointer data) {
  auto *visit = static_cast<Visit *>(data);
  g_autoptr(GList) windows = gtk_window_list_toplevels();
  for (GList *item = windows; item != nullptr; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
      GtkWindow *box = GTK_WINDOW(item->data);
      GtkMessageType type = GTK_MESSAGE_OTHER;
      g_autofree char *text = nullptr;
      g_object_get(box, "message-type", &type, "text", &text, nullptr);
      GtkWidget *close = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_CLOSE);
      visit->seen =
          std::string(type == GTK_MESSAGE_ERROR ? "error" : "not an error") + " box \"" + text +
          "\" over " + (gtk_window_get_transient_for(box) != nullptr ? "its parent" : "nothing") +
          (gtk_window_get_destroy_with_parent(box) ? " and bound to it" : "") + ", button " +
          (close != nullptr ? gtk_button_get_label(GTK_BUTTON(close)) : "none");
      if (!visit->destroy) {
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_CLOSE);
      } else {
#if GTK_MAJOR_VERSION >= 4
        gtk_window_destroy(box);
#else
        gtk_widget_destroy(GTK_WIDGET(box));
#endif
      }
      return G_SOURCE_REMOVE;
    }
  }
  return G_SOURCE_CONTINUE;
}

TEST(DisplayErrorTest, ShowsTheMessageLiterallyInAnErrorBoxUntilClosed) {
  g_setenv("LANGUAGE", "C", TRUE);      // button labels as written
  g_setenv("NO_AT_BRIDGE", "1", TRUE);  // no accessibility bus to wait for
#if GTK_MAJOR_VERSION >= 4
  ASSERT_TRUE(gtk_init_check()) << "no X server (run under xvfb-run)";
  GtkWidget *parent = gtk_window_new();
#else
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X server (run under xvfb-run)";
  GtkWidget *parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
#endif
  gtk_window_present(GTK_WINDOW(parent));
  Visit closed;
  g_timeout_add(20, visit_box, &closed);
  qor::display_error(GTK_WINDOW(parent), "%d%% of %s", 42, "caf\xe9 %s");
  EXPECT_EQ(closed.seen, "error box \"42% of caf\ufffd %s\" over its parent, button _Close");
  Visit destroyed{true, {}};  // the call returns, touching nothing destroyed
  g_timeout_add(20, visit_box, &destroyed);
  qor_display_error(nullptr, "%s", "destroyed while shown");
  EXPECT_EQ(destroyed.seen, "error box \"destroyed while shown\" over nothing, button _Close");
  g_autoptr(GList) left = gtk_window_list_toplevels();
  EXPECT_EQ(g_list_length(left), 1U) << "the box outlived the call";
}

// Each case runs in a process of its own: here GTK has no display.
TEST(DisplayErrorTest, WithoutADisplayLogsTheMessage) {
  g_test_expect_message(nullptr, G_LOG_LEVEL_WARNING,
                        "No display to show this error on: Config not found at https://h/x.cfg");
  qor::display_error(nullptr, "Config not found at %s", "https://h/x.cfg");
  // A caller's NULL message is a critical (through a pointer, or the compiler refuses it).
  for (void (*show)(GtkWindow *, const char *, ...) : {&qor::display_error, &qor_display_error}) {
    g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL, "*assertion 'format != nullptr' failed");
    show(nullptr, nullptr);
  }
  g_test_assert_expected_messages();
}

}  // namespace
