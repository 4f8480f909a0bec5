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

// An Xvfb server of our own; display() is empty when none could be started.
class Xvfb {
 public:
  Xvfb() {
    g_autofree char *program = g_find_program_in_path("Xvfb");
    if (program == nullptr) {
      failure_ = "Xvfb is not installed (Debian package xvfb)";
      return;
    }
    // -displayfd: the server picks a free display and writes its number to
    // our pipe once it accepts connections.
    const char *argv[] = {program,   "-displayfd", "1",          "-nolisten", "tcp",
                          "-screen", "0",          "800x600x24", nullptr};
    int out = -1;
    g_autoptr(GError) error = nullptr;
    if (!g_spawn_async_with_pipes(
            nullptr, const_cast<char **>(argv), nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL),
            nullptr, nullptr, &pid_, nullptr, &out, nullptr, &error)) {
      failure_ = std::string("Xvfb did not start: ") + error->message;
      return;
    }
    display_ = read_display_number(out);
    close(out);
    if (display_.empty()) {
      failure_ = "Xvfb started but named no display";
    }
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(const Xvfb &) = delete;
  Xvfb &operator=(const Xvfb &) = delete;

  const std::string &display() const { return display_; }
  const std::string &failure() const { return failure_; }

 private:
  static std::string read_display_number(int fd) {
    std::string number;
    char c = 0;
    pollfd ready{fd, POLLIN, 0};
    while (poll(&ready, 1, 10000) == 1 && read(fd, &c, 1) == 1 && c != '\n') {
      number += c;
    }
    return c == '\n' && !number.empty() ? ":" + number : std::string();
  }

  GPid pid_ = 0;
  std::string display_;
  std::string failure_;
};

// What the test saw of the box while display_error waited.
struct Seen {
  GtkWidget *dialog = nullptr;  // weak: null again once the box is finalised
  GtkMessageType type = GTK_MESSAGE_OTHER;
  std::string text;
  struct Button {
    std::string label;
    int response;
  };
  std::vector<Button> buttons;
  GtkWindow *transient_for = nullptr;
  bool destroy_with_parent = true;
  bool destroyed = false;
  bool modal_when_destroyed = true;
};

void collect_buttons(GtkWidget *widget, gpointer buttons) {
  if (GTK_IS_BUTTON(widget)) {
    const char *label = gtk_button_get_label(GTK_BUTTON(widget));
    GtkWidget *dialog = gtk_widget_get_toplevel(widget);
    static_cast<std::vector<Seen::Button> *>(buttons)->push_back(
        {label != nullptr ? label : "",
         gtk_dialog_get_response_for_widget(GTK_DIALOG(dialog), widget)});
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), collect_buttons, buttons);
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

void on_destroy(GtkWidget *dialog, gpointer seen) {
  static_cast<Seen *>(seen)->destroyed = true;
  static_cast<Seen *>(seen)->modal_when_destroyed = gtk_window_get_modal(GTK_WINDOW(dialog));
}

void record(GtkWidget *dialog, Seen &seen) {
  seen.dialog = dialog;
  g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer *>(&seen.dialog));
  g_autofree char *text = nullptr;
  g_object_get(dialog, "message-type", &seen.type, "text", &text, nullptr);
  seen.text = text != nullptr ? text : "";
  gtk_container_forall(GTK_CONTAINER(dialog), collect_buttons, &seen.buttons);
  seen.transient_for = gtk_window_get_transient_for(GTK_WINDOW(dialog));
  seen.destroy_with_parent = gtk_window_get_destroy_with_parent(GTK_WINDOW(dialog));
  g_signal_connect(dialog, "destroy", G_CALLBACK(on_destroy), &seen);
}

class DisplayErrorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    xvfb_ = new Xvfb();
    if (!xvfb_->display().empty()) {
      g_setenv("DISPLAY", xvfb_->display().c_str(), TRUE);
      g_setenv("GDK_BACKEND", "x11", TRUE);
      g_setenv("NO_AT_BRIDGE", "1", TRUE);  // no accessibility bus to wait for
      g_setenv("LANGUAGE", "C", TRUE);      // button labels as written
      gtk_ready_ = gtk_init_check(nullptr, nullptr);
    }
  }
  static void TearDownTestSuite() {
    delete xvfb_;
    xvfb_ = nullptr;
  }
  void SetUp() override {
    if (xvfb_->display().empty()) {
      GTEST_SKIP() << xvfb_->failure();
    }
    ASSERT_TRUE(gtk_ready_) << "GTK could not open " << xvfb_->display();
  }

  // Calls show() and, once the box is up, records it and hands it to close().
  static Seen run(const std::function<void()> &show, std::function<void(GtkWidget *)> close) {
    struct Waiting {
      Seen seen;
      std::function<void(GtkWidget *)> close;
      bool found = false;
    } waiting{Seen(), std::move(close)};
    const guint poller = g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
          auto *state = static_cast<Waiting *>(data);
          GtkWidget *dialog = find_message_dialog();
          if (dialog == nullptr) {
            return G_SOURCE_CONTINUE;
          }
          state->found = true;
          record(dialog, state->seen);
          state->close(dialog);
          return G_SOURCE_REMOVE;
        },
        &waiting);
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
    if (!waiting.found) {
      g_source_remove(poller);
    }
    if (waiting.seen.dialog != nullptr) {  // outlived the call: stop watching it
      g_object_remove_weak_pointer(G_OBJECT(waiting.seen.dialog),
                                   reinterpret_cast<gpointer *>(&waiting.seen.dialog));
    }
    return waiting.seen;
  }

  static void click_close(GtkWidget *dialog) {
    gtk_button_clicked(
        GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE)));
  }

  static Xvfb *xvfb_;
  static bool gtk_ready_;
};

Xvfb *DisplayErrorTest::xvfb_ = nullptr;
bool DisplayErrorTest::gtk_ready_ = false;

guint count_toplevels() {
  g_autoptr(GList) toplevels = gtk_window_list_toplevels();
  return g_list_length(toplevels);
}

TEST_F(DisplayErrorTest, ShowsAnErrorBoxWithOneCloseButton) {
  const Seen seen =
      run([] { qor::display_error(nullptr, "Config not found at %s", "https://h/x.cfg"); },
          click_close);

  ASSERT_TRUE(seen.destroyed) << "no box appeared";
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.text, "Config not found at https://h/x.cfg");
  ASSERT_EQ(seen.buttons.size(), 1U);
  EXPECT_EQ(seen.buttons[0].label, "_Close");
  EXPECT_EQ(seen.buttons[0].response, GTK_RESPONSE_CLOSE);
  EXPECT_EQ(seen.transient_for, nullptr);
}

TEST_F(DisplayErrorTest, ClosingTheBoxEndsTheCallAndDestroysIt) {
  const Seen clicked = run([] { qor::display_error(nullptr, "clicked"); }, click_close);
  EXPECT_TRUE(clicked.destroyed);
  EXPECT_EQ(clicked.dialog, nullptr) << "the box outlived the call";
  EXPECT_EQ(count_toplevels(), 0U);

  // The window manager's close button sends a delete event instead.
  const Seen deleted = run([] { qor::display_error(nullptr, "deleted"); },
                           [](GtkWidget *dialog) { gtk_window_close(GTK_WINDOW(dialog)); });
  EXPECT_TRUE(deleted.destroyed);
  EXPECT_EQ(count_toplevels(), 0U);
}

TEST_F(DisplayErrorTest, ShowsTheFormattedTextLiterally) {
  EXPECT_EQ(run([] { qor::display_error(nullptr, "%s", "100% %s %d %n"); }, click_close).text,
            "100% %s %d %n");
  EXPECT_EQ(run([] { qor::display_error(nullptr, "%d%% of %s", 42, "it"); }, click_close).text,
            "42% of it");
  EXPECT_EQ(run([] { qor::display_error(nullptr, "%s", "caf\xe9"); }, click_close).text,
            "caf\xef\xbf\xbd");
}

TEST_F(DisplayErrorTest, BelongsToItsParentWithoutBeingBoundToIt) {
  GtkWidget *parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(parent);
  const Seen seen =
      run([parent] { qor::display_error(GTK_WINDOW(parent), "over a window"); }, click_close);

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
