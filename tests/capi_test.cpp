// The C interface over the library's records.
#include <gtest/gtest.h>

#include <qor/qor.h>
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

}  // namespace
