#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

#include "platform/file_io.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace platform;

// The flags the writer engine passes for a cabinet. A created output file
// gets the usual permissions less the umask; only exclusively created
// scratch files stay private.
TEST(FileIo, CabinetFileWriteSeekReadAndPermissions) {
    testsupport::ScratchDir dir;
    std::string path = (dir.path() / "c").string();
    int32_t error = 0;
    mode_t old = umask(022);
    int32_t h = OpenFile(path.c_str(), OPEN_BINARY | OPEN_TRUNCATE | OPEN_CREATE | OPEN_READ_WRITE,
                         MODE_READ | MODE_WRITE, &error);
    umask(old);
    ASSERT_GE(h, 0);
    EXPECT_EQ(WriteFile(h, "0123456789", 10, &error), 10);
    EXPECT_EQ(SeekFile(h, 0, SEEK_FROM_END, &error), 10);
    EXPECT_EQ(SeekFile(h, -4, SEEK_FROM_CURRENT, &error), 6);
    char buffer[16] = {};
    EXPECT_EQ(ReadFile(h, buffer, sizeof buffer, &error), 4);  // short only at the end
    EXPECT_STREQ(buffer, "6789");
    EXPECT_EQ(ReadFile(h, buffer, sizeof buffer, &error), 0);
    EXPECT_EQ(SeekFile(h, -100, SEEK_FROM_CURRENT, &error), -1);
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(CloseFile(h, &error), 0);
    EXPECT_EQ(CloseFile(h, &error), -1);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}
