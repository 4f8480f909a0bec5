// The C interface over the library's records.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <qor/qor.h>
#include "net/http_session.h"
#include "test_util.h"

namespace {

// A copy of the distribution record is the caller's own to change and free;
// the library's stays as it was, even when it is itself freed by mistake.
TEST(CInterfaceTest, ACopyOfTheDistributionRecordIsTheCallersOwn) {
  const qor::test::TempDir bin;
  g_setenv("PATH", bin.path.c_str(), TRUE);
  qor::test::write_tool(bin.path, "Distributor ID:\tQor\nCodename:\tone\n");
  const QorDistroInfo *library = qor_get_distro_information();
  ASSERT_STREQ(library->distributor, "Qor");

  auto *copy = static_cast<QorDistroInfo *>(g_boxed_copy(QOR_TYPE_DISTRO_INFO, library));
  ASSERT_NE(copy, library);
  EXPECT_NE(copy->distributor, library->distributor);
  EXPECT_STREQ(copy->distributor, "Qor");
  EXPECT_EQ(copy->description, nullptr);
  EXPECT_STREQ(copy->codename, "one");
  EXPECT_TRUE(copy->valid);
  g_free(const_cast<char *>(copy->distributor));
  copy->distributor = g_strdup("Evil");
  g_boxed_free(QOR_TYPE_DISTRO_INFO, copy);
  g_boxed_free(QOR_TYPE_DISTRO_INFO, const_cast<QorDistroInfo *>(library));
  EXPECT_EQ(qor_get_distro_information(), library);
  EXPECT_STREQ(library->distributor, "Qor");
  EXPECT_STREQ(library->codename, "one");

  // A record of the caller's own, gone once put in a value: the value has a copy.
  GValue value = G_VALUE_INIT;
  g_value_init(&value, QOR_TYPE_DISTRO_INFO);
  {
    const QorDistroInfo mine = {"Mine", nullptr, "1", "first", TRUE};
    g_value_set_boxed(&value, &mine);
  }
  const auto *held = static_cast<const QorDistroInfo *>(g_value_get_boxed(&value));
  EXPECT_STREQ(held->distributor, "Mine");
  EXPECT_STREQ(held->codename, "first");
  g_value_unset(&value);
}

// The types of the modules that are loaded now. Only types already
// registered are looked at: looking loads nothing.
std::set<GType> loaded_module_types(GType type = G_TYPE_OBJECT) {
  std::set<GType> types;
  guint count = 0;
  g_autofree GType *children = g_type_children(type, &count);
  for (guint i = 0; i < count; ++i) {
    GTypePlugin *plugin = g_type_get_plugin(children[i]);
    if (G_IS_TYPE_MODULE(plugin) && G_TYPE_MODULE(plugin)->use_count > 0) {
      types.insert(children[i]);
    }
    types.merge(loaded_module_types(children[i]));
  }
  return types;
}

// The process may exit while the load's thread runs, and a GIO module loaded
// on it then aborts the exit: the call loads them before it returns, for good.
// The URL fails before any session is made, so the thread itself loads none.
TEST(CInterfaceTest, AnAsynchronousLoadsModulesAreLoadedBeforeItReturns) {
  // GIO's dummy is in no module, and GNOME's, once tried, GIO keeps loaded itself.
  g_setenv("GIO_USE_PROXY_RESOLVER", "libproxy", TRUE);
  const qor::test::TempDir home;  // where the failed load's unnamed temporary file goes
  g_setenv("HOME", home.path.c_str(), TRUE);
  g_setenv("QOR_TEST_CONFIG_URL", "not a URL", TRUE);
  GError *error = nullptr;
  qor_get_configuration_async(
      nullptr,
      [](GObject *, GAsyncResult *result, gpointer failure) {
        EXPECT_EQ(qor_get_configuration_finish(result, static_cast<GError **>(failure)), nullptr);
      },
      &error);
  const std::set<GType> loaded = loaded_module_types();
  for (const GType needed : {G_TYPE_TLS_BACKEND, G_TYPE_PROXY_RESOLVER}) {
    const auto implements = [needed](GType type) { return g_type_is_a(type, needed); };
    EXPECT_TRUE(std::ranges::any_of(loaded, implements)) << g_type_name(needed);
  }
  {
    // libsoup 2.4's GNOME feature makes a resolver for each session.
    const qor::HttpSession session(nullptr);
    EXPECT_EQ(loaded_module_types(), loaded);
  }
  while (error == nullptr) g_main_context_iteration(nullptr, TRUE);
  EXPECT_TRUE(g_error_matches(error, QOR_HTTP_ERROR, QOR_HTTP_ERROR_MALFORMED));
  g_error_free(error);
}

// A failed call is NULL with its error, and a caller's NULL is a critical and an
// empty answer, never a crash; the error types and codes have the names that
// introspection gives other languages.
TEST(CInterfaceTest, FailuresAndNullsHaveTheirOutcome) {
  const qor::test::TempDir dir;
  g_setenv("HOME", dir.path.c_str(), TRUE);
  g_setenv("QOR_TEST_CONFIG_URL", "not a URL", TRUE);
  EXPECT_EQ(qor_get_configuration(), nullptr);
  g_autoptr(GError) error = nullptr;
  EXPECT_FALSE(qor_http_download_file("not a URL", dir.file("file").c_str(), nullptr, &error));
  EXPECT_TRUE(g_error_matches(error, QOR_HTTP_ERROR, QOR_HTTP_ERROR_MALFORMED));
  g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL, "*assertion 'config != nullptr' failed");
  EXPECT_EQ(qor_configuration_get_sources(nullptr), nullptr);
  for (const auto &[a, b] : {std::pair<const char *, const char *>{"1", nullptr}, {nullptr, "1"}}) {
    g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL, "*assertion 'a != nullptr && b*' failed");
    EXPECT_EQ(qor_compare_versions(a, b), 0);
  }
  g_test_assert_expected_messages();
  g_autoptr(GEnumClass) http = G_ENUM_CLASS(g_type_class_ref(qor_http_error_get_type()));
  EXPECT_STREQ(g_enum_get_value(http, QOR_HTTP_ERROR_TOO_MANY_REDIRECTS)->value_nick,
               "too-many-redirects");
  g_autoptr(GEnumClass) signature = G_ENUM_CLASS(g_type_class_ref(qor_signature_error_get_type()));
  EXPECT_STREQ(g_enum_get_value(signature, QOR_SIGNATURE_ERROR_EXPIRED)->value_nick, "expired");
  EXPECT_STREQ(g_type_name(qor_http_error_get_type()), "QorHttpError");
  EXPECT_STREQ(g_type_name(qor_signature_error_get_type()), "QorSignatureError");
  EXPECT_EQ(QOR_SIGNATURE_ERROR, g_quark_from_static_string("qor-signature-error"));
}

}  // namespace
