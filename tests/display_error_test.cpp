// The error box on a real X server (xvfb-run).
#include "ui/display_error.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "test_util.h"

namespace {

// What the test saw of the box while display_error waited in it.
struct Seen {
  GtkMessageType type = GTK_MESSAGE_OTHER;
  std::string text;
  std::vector<std::pair<std::string, int>> buttons;  // label, response
  GtkWindow *parent = nullptr;
  bool bound_to_parent = true;
};

void collect_buttons(GtkWidget *widget, gpointer seen) {
  if (GTK_IS_BUTTON(widget)) {
    static_cast<Seen *>(seen)->buttons.emplace_back(
        gtk_button_get_label(GTK_BUTTON(widget)),
        gtk_dialog_get_response_for_widget(GTK_DIALOG(gtk_widget_get_toplevel(widget)), widget));
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), collect_buttons, seen);
  }
}

// Polled from the box's own loop: records the box once it is up, then
// presses its Close button.
gboolean record_and_close(gpointer data) {
  g_autoptr(GList) windows = gtk_window_list_toplevels();
  for (GList *item = windows; item != nullptr; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
      auto &seen = *static_cast<Seen *>(data);
      GtkWindow *box = GTK_WINDOW(item->data);
      g_autofree char *text = nullptr;
      g_object_get(box, "message-type", &seen.type, "text", &text, nullptr);
      seen.text = text;
      gtk_container_forall(GTK_CONTAINER(box), collect_buttons, &seen);
      seen.parent = gtk_window_get_transient_for(box);
      seen.bound_to_parent = gtk_window_get_destroy_with_parent(box);
      gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_CLOSE);
      return G_SOURCE_REMOVE;
    }
  }
  return G_SOURCE_CONTINUE;
}

TEST(DisplayErrorTest, ShowsTheMessageLiterallyInAnErrorBoxUntilClosed) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X server (run under xvfb-run)";
  g_setenv("LANGUAGE", "C", TRUE);  // button labels as written
  GtkWidget *parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(parent);
  Seen seen;
  g_timeout_add(20, record_and_close, &seen);
  qor::display_error(GTK_WINDOW(parent), "%d%% of %s", 42, "caf\xe9 %s");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.text, "42% of caf\ufffd %s");
  EXPECT_EQ(seen.buttons, (decltype(seen.buttons){{"_Close", GTK_RESPONSE_CLOSE}}));
  EXPECT_EQ(seen.parent, GTK_WINDOW(parent));
  EXPECT_FALSE(seen.bound_to_parent);
  g_autoptr(GList) left = gtk_window_list_toplevels();
  EXPECT_EQ(g_list_length(left), 1U) << "the box outlived the call";
}

// Each case runs in a process of its own, and here GTK has no display.
TEST(DisplayErrorTest, WithoutADisplayLogsTheMessage) {
  qor::test::LogCapture log;
  qor::display_error(nullptr, "Config not found at %s", "https://h/x.cfg");
  EXPECT_EQ(log.take(),
            std::vector<std::string>{
                "No display to show this error on: Config not found at https://h/x.cfg"});
}

}  // namespace
