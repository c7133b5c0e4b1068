#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/buffered_file.h"
#include "platform/directories.h"
#include "platform/file_io.h"
#include "platform/temp_names.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;
using namespace platform;
using testsupport::ScratchDir;
using testsupport::WriteFileText;

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

// Delayed writes must read back as if written at once and must not lose an
// error: a full device is reported no later than the close.

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

namespace {

std::vector<std::string> Names(const std::vector<platform::DirectoryEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name + (e.isDirectory ? "/" : ""));
    return names;
}

}  // namespace

TEST(Directories, ListsInByteOrderWithKinds) {
    ScratchDir dir;
    for (const char* name : {"b", "B", "a.txt", "\xC3\xA9", "_x"}) WriteFileText(dir.path() / name, "x");
    fs::create_directory(dir.path() / "sub");
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::ListDirectory(dir.str(), "*.*", &entries));
    std::vector<std::string> expected = {"B", "_x", "a.txt", "b", "sub/", "\xC3\xA9"};
    EXPECT_EQ(Names(entries), expected);

    ASSERT_TRUE(platform::ListDirectory(dir.str(), "?", &entries));
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"B", "b"}));
}

TEST(Directories, LinksFifosAndSocketsFollowTheTreeRules) {
    ScratchDir dir;
    WriteFileText(dir.path() / "real.txt", "x");
    fs::create_directory(dir.path() / "realdir");
    fs::create_symlink("real.txt", dir.path() / "link-to-file");
    fs::create_symlink("realdir", dir.path() / "link-to-dir");
    fs::create_symlink("missing", dir.path() / "dangling");
    ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::string socketPath = (dir.path() / "sock").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::ListDirectory(dir.str(), "*", &entries));
    close(sock);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"link-to-file", "real.txt", "realdir/"}));
    // A link's size and readability are its target's.
    EXPECT_EQ(entries[0].size, 1u);
    EXPECT_EQ(entries[0].readError, 0);
}

TEST(TempNames, DirectoryPrecedenceAndFreshNames) {
    testsupport::ScratchDir tmp, tmpdir;
    setenv("TMPDIR", tmpdir.str().c_str(), 1);
    setenv("TMP", (tmp.path() / "missing").c_str(), 1);
    EXPECT_EQ(platform::TempDirectory(), tmpdir.str());
    unsetenv("TMPDIR");
    setenv("TMP", "", 1);
    EXPECT_EQ(platform::TempDirectory(), "/tmp");
    setenv("TMPDIR", tmpdir.str().c_str(), 1);
    setenv("TMP", tmp.str().c_str(), 1);
    EXPECT_EQ(platform::TempDirectory(), tmp.str());

    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string name;
        ASSERT_TRUE(platform::MakeTempName("xx", &name));
        fs::path path(name);
        EXPECT_EQ(path.parent_path(), tmp.path());
        EXPECT_EQ(path.filename().string().rfind("xx", 0), 0u);
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(seen.insert(name).second);
        testsupport::WriteFileText(path, "");  // taken names must not come back
    }
    unsetenv("TMP");
    unsetenv("TMPDIR");
}

}  // namespace treepak
