// Builds that fail: each ends with its message, status 255 and no
// temporary file; a refused build leaves no cabinet either.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/build_cabinet.h"
#include "app/file_list.h"
#include "app/options.h"
#include "app/run_tool.h"
#include "e2e_support.h"

namespace fs = std::filesystem;
using testsupport::WriteFileText;

TEST(BuildFailure, SourceRemovedAfterTheWalk) {
    // In process: walk, remove a listed file, then build.
    Workspace ws;
    fs::path src = ws.dir() / "src";
    WriteFileText(src / "a.txt", "a");
    WriteFileText(src / "b.txt", "b");
    setenv("TMP", ws.tmp().c_str(), 1);
    Paths.source = src.string();
    Paths.cabinetPath = (ws.dir() / "out.cab").string();
    Options = ToolOptions{};
    Options.showLogo = false;
    FileList list;
    WalkDirectory(Paths.source, "*.*", CollectFile, &list, true);
    ASSERT_EQ(list.count(), 2);
    fs::remove(src / "b.txt");
    testing::internal::CaptureStdout();
    int ok = BuildCabinet(list.count(), list.paths.data(), list.compressFlags.data(), true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(ws.TmpIsEmpty());
    unsetenv("TMP");
}

TEST(BuildFailure, UnwritableCabinetPath) {
    Workspace ws;
    WriteFileText(ws.dir() / "src" / "a.txt", "a");
    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "src", "missing-dir/out.cab"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n");
    EXPECT_TRUE(ws.TmpIsEmpty());
    EXPECT_TRUE(ws.Run({"-BATCH", "-NOLOGO", "-V", "src", "missing-dir/out.cab"}).out.ends_with("]\nTREEPAK failed\n"));
}

TEST(BuildFailure, TooLongStoredNameIsRefusedBeforeAnythingIsWritten) {
    Workspace ws;
    std::string longName(250, 'n');
    WriteFileText(ws.dir() / "src" / "subdirectory" / longName, "x");
    WriteFileText(ws.dir() / "src" / "a.txt", "a");
    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "-D", "src", "out.cab"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "Name too long to store in a cabinet (more than 255 bytes): subdirectory\\" + longName + "\n");
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(fs::exists(ws.dir() / "src" / "a.txt"));  // -D deletes nothing after a failure
    EXPECT_TRUE(ws.TmpIsEmpty());
    // Flattened, the same name fits.
    EXPECT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "-F", "src", "out.cab"}).status, 0);
}

TEST(BuildFailure, TooManyFilesIsRefused) {
    Workspace ws;
    fs::path src = ws.dir() / "src";
    fs::create_directories(src);
    for (int i = 0; i <= 0xFFFF; ++i) {
        std::ofstream(src / std::to_string(i));
    }
    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "src", "out.cab"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "Too many files for one cabinet: 65536 (at most 65535)\n");
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(ws.TmpIsEmpty());
}
