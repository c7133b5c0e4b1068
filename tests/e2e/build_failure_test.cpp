// Builds that leave something out or fail. A finished build that left
// something out names each on standard error and ends with status 1; a
// failed one ends with its message, status 255 and no temporary file, and a
// refused build leaves no cabinet either.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <thread>
#include <unistd.h>

#include "app/build/build_cabinet.h"
#include "app/build/file_selection.h"
#include "app/cli/options.h"
#include "app/cli/run_tool.h"
#include "cab_parser.h"
#include "tool_run.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::WriteFileText;
using Contents = std::map<std::string, std::vector<uint8_t>>;

namespace {

Contents CabinetContents(const fs::path& path) {
    Contents files;
    testsupport::ParsedCabinet parsed;
    if (!fs::exists(path)) return files;
    EXPECT_EQ(testsupport::ParseCabinet(testsupport::ReadFileBytes(path), &parsed), "");
    EXPECT_EQ(testsupport::ExtractSet({parsed}, &files), "");
    return files;
}

Contents Bytes(std::initializer_list<std::pair<const char*, const char*>> files) {
    Contents out;
    for (const auto& [name, text] : files) out[name] = std::vector<uint8_t>(text, text + std::strlen(text));
    return out;
}

}  // namespace

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
    testing::internal::CaptureStderr();
    int ok = BuildCabinet(&list, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "treepak: " + (src / "b.txt").string() + ": cannot open: No such file or directory\n");
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(ws.TmpIsEmpty());
    unsetenv("TMP");
}

TEST(BuildFailure, RefusedBuildsLeaveNothing) {
    Workspace ws;
    const std::string longName(250, 'n'), longCabinet(256, 'c');
    WriteFileText(ws.dir() / "src" / "subdirectory" / longName, "x");
    WriteFileText(ws.dir() / "ok" / "a.txt", "a");
    fs::create_directories(ws.dir() / "many");
    for (int i = 0; i <= 0xFFFF; ++i) std::ofstream(ws.dir() / "many" / std::to_string(i));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"ok", "missing-dir/out.cab"}, "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n"},
        {{"ok", "ok"}, "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n"},
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
        // Every refusal is named on standard error too, with the cabinet or the object refused.
        EXPECT_TRUE(run.err.starts_with("treepak: ")) << run.err;
        if (message.starts_with("FCIFlushCabinet")) {
            EXPECT_TRUE(run.err.starts_with("treepak: " + args.back() + ": cannot create the cabinet: ")) << run.err;
        }
        EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
        EXPECT_TRUE(fs::exists(ws.dir() / "ok" / "a.txt") && fs::exists(ws.dir() / "src" / "subdirectory" / longName));
        EXPECT_TRUE(ws.TmpIsEmpty());
    }
    EXPECT_TRUE(ws.Run({"-BATCH", "-NOLOGO", "-V", "ok", "missing-dir/out.cab"}).out.ends_with("]\nTREEPAK failed\n"));
    EXPECT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "-F", "src", "out.cab"}).status, 0);
}

// Names a cabinet cannot give back as they are, a second file under a
// flattened name and a pattern that matches nothing: the cabinet holds
// everything else, each left-out file is named, and the status is 1.
TEST(BuildDiagnostics, LeftOutNamesEndWithStatusOne) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    WriteFileText(src / "keep.txt", "top");
    WriteFileText(src / "sub" / "keep.txt", "sub");
    WriteFileText(src / "back\\slash.txt", "b");
    WriteFileText(src / "c:d.txt", "c");
    WriteFileText(src / "sub" / "e:f.txt", "e");
    const std::string unstorable =
        "treepak: src/back\\slash.txt: left out: its name would not come back the same from a cabinet\n"
        "treepak: src/c:d.txt: left out: its name would not come back the same from a cabinet\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
        Contents cabinet;
    };
    const Case cases[] = {
        // Below the top a colon is an ordinary character.
        {{"src"}, unstorable, Bytes({{"sub\\e:f.txt", "e"}, {"sub\\keep.txt", "sub"}, {"keep.txt", "top"}})},
        // Flattened, the bare name is cut at the colon; the first keep.txt in
        // walk order keeps the name.
        {{"-F", "src"},
         "treepak: src/sub/e:f.txt: left out: its name would not come back the same from a cabinet\n" + unstorable +
             "treepak: src/keep.txt: left out: src/sub/keep.txt is stored under the same name keep.txt\n",
         Bytes({{"keep.txt", "sub"}})},
        {{"src/*.zz"}, "treepak: src/*.zz: no file matches the pattern (the cabinet is empty)\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args = {"-BATCH", "-NOLOGO", "-NOCOMPRESS"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("out.cab");
        const ToolRun run = ws.Run(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(CabinetContents(ws.dir() / "out.cab"), c.cabinet);
        EXPECT_TRUE(ws.TmpIsEmpty());
    }
}

// Run as an unprivileged user, so that permissions hold: an unreadable
// directory and file are left out (status 1); a cabinet location that
// cannot be written fails before anything is read or compressed (-V shows
// no writer progress), exactly as a cabinet that cannot be created.
TEST(BuildDiagnostics, UnreadableSourcesAndAnUnwritableLocation) {
    if (geteuid() != 0) GTEST_SKIP() << "running the tool as another user needs root";
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    WriteFileText(src / "open" / "a.txt", "a");
    WriteFileText(src / "open" / "secret.txt", "s");
    WriteFileText(src / "locked" / "l.txt", "l");
    fs::create_directories(ws.dir() / "ro");
    ASSERT_EQ(testsupport::RunCommand("chown -R nobody:nogroup " + ShellQuote(ws.root.path().string()), nullptr), 0);
    fs::permissions(src / "locked", fs::perms::none);
    fs::permissions(src / "open" / "secret.txt", fs::perms::none);
    fs::permissions(ws.dir() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const ChildSetup asNobody{.asNobody = true};

    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "src", "out.cab"}, asNobody);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "treepak: src/locked: cannot list directory: Permission denied (its files are not in the cabinet)\n"
              "treepak: src/open/secret.txt: cannot open: Permission denied (not in the cabinet)\n");
    EXPECT_EQ(CabinetContents(ws.dir() / "out.cab"), Bytes({{"open\\a.txt", "a"}}));

    run = ws.Run({"-BATCH", "-NOLOGO", "-V", "src/open", "ro/out.cab"}, asNobody);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out,
              "Walking...\nCABing...\nFCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n"
              "TREEPAK failed\n");
    EXPECT_TRUE(run.err.ends_with("treepak: ro/out.cab: cannot create the cabinet: Permission denied\n")) << run.err;
    EXPECT_TRUE(fs::is_empty(ws.dir() / "ro"));
    EXPECT_TRUE(ws.TmpIsEmpty());
}

TEST(BuildDiagnostics, FileChangedWhileReadIsNamed) {
    Workspace ws;
    const fs::path growing = ws.dir() / "src" / "grow.bin";
    testsupport::WriteFileBytes(growing, std::vector<uint8_t>(16 << 20, 'x'));
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        while (!stop) std::ofstream(growing, std::ios::app) << "more";
    });
    // The file must already be growing when the build looks at it: a build
    // that read it whole before the writer's first append saw no change.
    while (fs::file_size(growing) == 16u << 20) std::this_thread::yield();
    const ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "src", "out.cab"});
    stop = true;
    writer.join();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    std::smatch read;
    ASSERT_TRUE(std::regex_match(run.err, read,
                                 std::regex("treepak: src/grow.bin: changed while it was read; the cabinet holds "
                                            "the ([0-9]+) bytes read\n")))
        << run.err;
    EXPECT_EQ(CabinetContents(ws.dir() / "out.cab").at("grow.bin").size(), std::stoul(read[1]));
}

}  // namespace treepak
