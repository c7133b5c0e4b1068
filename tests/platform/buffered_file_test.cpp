// Delayed writes must read back as if written at once and must not lose an
// error: a full device is reported no later than the close.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/buffered_file.h"
#include "platform/file_io.h"
#include "test_support.h"

using namespace platform;

TEST(BufferedFile, PendingBytesCountForSeeksAndReads) {
    testsupport::ScratchDir dir;
    const std::string path = (dir.path() / "f").string();
    int32_t error = 0;
    const int32_t handle = OpenFile(path.c_str(), OPEN_CREATE | OPEN_TRUNCATE | OPEN_READ_WRITE, MODE_READ | MODE_WRITE,
                                    &error);
    ASSERT_GE(handle, 0);
    BufferedFile file(handle, 16);
    ASSERT_EQ(file.Write("0123456789", 10, &error), 10);
    EXPECT_EQ(testsupport::ReadFileBytes(path).size(), 0u);  // still buffered
    ASSERT_EQ(file.Write("abcdefghij", 10, &error), 10);   // overflows: the first piece goes out
    ASSERT_EQ(file.Write(std::string(40, 'z').data(), 40, &error), 40);  // larger than the buffer: direct
    EXPECT_EQ(file.Seek(0, SEEK_FROM_END, &error), 60);
    ASSERT_EQ(file.Seek(0, SEEK_FROM_START, &error), 0);
    ASSERT_EQ(file.Write("XY", 2, &error), 2);  // the signature-style patch over the start
    char back[4] = {};
    EXPECT_EQ(file.Read(back, 4, &error), 4);
    EXPECT_EQ(std::string(back, 4), "2345");
    EXPECT_EQ(file.Close(&error), 0);
    const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "XY23456789abcdefghij" + std::string(40, 'z'));
}

TEST(BufferedFile, AFullDeviceIsReportedByTheClose) {
    int32_t error = 0;
    const int32_t handle = OpenFile("/dev/full", OPEN_WRITE_ONLY, 0, &error);
    if (handle < 0) GTEST_SKIP() << "no /dev/full";
    BufferedFile file(handle, 1024);
    EXPECT_EQ(file.Write("small", 5, &error), 5);
    EXPECT_EQ(file.Close(&error), -1);
    EXPECT_EQ(error, ENOSPC);
}
