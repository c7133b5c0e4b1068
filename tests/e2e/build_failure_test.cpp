// Builds that fail: each ends with its message, status 255 and no
// temporary file; a refused build leaves no cabinet either.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/build/build_cabinet.h"
#include "app/build/file_selection.h"
#include "app/cli/options.h"
#include "app/cli/run_tool.h"
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

// Refused or failed through the binary: the message, status 255, no
// cabinet, no temporary file, and with -D no source deleted.
TEST(BuildFailure, RefusedBuildsLeaveNothing) {
    Workspace ws;
    const std::string longName(250, 'n'), longCabinet(256, 'c');
    WriteFileText(ws.dir() / "src" / "subdirectory" / longName, "x");
    WriteFileText(ws.dir() / "ok" / "a.txt", "a");
    fs::create_directories(ws.dir() / "many");
    for (int i = 0; i <= 0xFFFF; ++i) std::ofstream(ws.dir() / "many" / std::to_string(i));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"ok", "missing-dir/out.cab"}, "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n"},
        {{"-D", "src", "out.cab"},
         "Name too long to store in a cabinet (more than 255 bytes): subdirectory\\" + longName + "\n"},
        {{"-D", "ok", longCabinet}, "Cabinet name or directory too long (more than 255 bytes): " + longCabinet + "\n"},
        {{"many", "out.cab"}, "Too many files for one cabinet: 65536 (at most 65535)\n"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> all = {"-BATCH", "-NOLOGO"};
        all.insert(all.end(), args.begin(), args.end());
        ToolRun run = ws.Run(all);
        EXPECT_EQ(run.status, 255) << message;
        EXPECT_EQ(run.out, message);
        EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
        EXPECT_TRUE(fs::exists(ws.dir() / "ok" / "a.txt") && fs::exists(ws.dir() / "src" / "subdirectory" / longName));
        EXPECT_TRUE(ws.TmpIsEmpty());
    }
    EXPECT_TRUE(ws.Run({"-BATCH", "-NOLOGO", "-V", "ok", "missing-dir/out.cab"}).out.ends_with("]\nTREEPAK failed\n"));
    // Flattened, the long name fits.
    EXPECT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "-F", "src", "out.cab"}).status, 0);
}
