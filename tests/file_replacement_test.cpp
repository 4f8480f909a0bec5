#include "net/file_replacement.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "test_util.h"

namespace qor {
namespace {

using test::listing;
using test::read_file;
using test::ScopedLimit;

// The cap on descriptors that leaves `left` of them free.
rlim_t descriptors_leaving(int left) {
  const int lowest_free = dup(0);
  close(lowest_free);
  return static_cast<rlim_t>(lowest_free) + static_cast<rlim_t>(left);
}

// Whichever step fails, the old file, a folder in the file's place or the
// absence of a file stays as it was, and nothing new is left beside it.
TEST(FileReplacementTest, AFailedStepLeavesTheFolderAsItWas) {
  const test::TempDir dir;
  test::write_file(dir.file("config"), "old contents\n");
  ASSERT_EQ(g_mkdir(dir.file("folder").c_str(), 0700), 0);
  const struct {
    std::string name;
    std::string file;
    rlim_t descriptors;
    rlim_t size_cap;
    std::string failing_step;
  } cases[] = {
      {"no descriptor left", "config", descriptors_leaving(0), RLIM_INFINITY, "open"},
      // GIO's replace then wrote in place, and the old file was cut to 4 bytes.
      {"one descriptor left, size capped", "config", descriptors_leaving(1), 4, "write"},
      {"one descriptor left, size capped, new file", "fresh", descriptors_leaving(1), 4, "write"},
      {"folder in the file's place", "folder", RLIM_INFINITY, RLIM_INFINITY, "commit"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    g_autoptr(GError) error = nullptr;
    const std::string step = [&] {
      const ScopedLimit descriptors(RLIMIT_NOFILE, c.descriptors);
      const ScopedLimit size(RLIMIT_FSIZE, c.size_cap);
      FileReplacement file;
      if (!file.open(dir.file(c.file).c_str(), &error)) {
        return "open";
      }
      if (!file.write("new contents\n", 13, &error)) {
        return "write";
      }
      return file.commit(&error) ? "none" : "commit";
    }();
    EXPECT_EQ(step, c.failing_step);
    EXPECT_TRUE(error != nullptr && error->domain == G_IO_ERROR);
    EXPECT_EQ(read_file(dir.file("config")), "old contents\n");
    EXPECT_EQ(listing(dir.path()), "config folder ");
    EXPECT_EQ(listing(dir.file("folder")), "");
  }
}

}  // namespace
}  // namespace qor
