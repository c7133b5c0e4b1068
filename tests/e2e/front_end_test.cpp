#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/cli/console.h"
#include "app/cli/progress_display.h"
#include "tool_run.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::WriteFileBytes;
using testsupport::WriteFileText;

TEST(FrontEnd, UsageForNoSourceOrAnUnknownOptionExitsZero) {
    Workspace ws;
    std::string usage = Banner() + USAGE_TEXT;
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"-V"}, {"-r", "src"}, {"-compressx", "src"},
                                          {"-NOLOGO", "-x", "src", "out.cab"}}) {
        ToolRun run = ws.Run(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, usage);
        EXPECT_EQ(run.err, "");
    }
}

TEST(FrontEnd, UnusableSourceExits255) {
    Workspace ws;
    WriteFileText(ws.dir() / "plain.txt", "x");
    const std::string message = "Must specify a wild card, directory or cab file with destination\n";
    for (const char* source : {"missing", "plain.txt", "missing/*.kvf", "*.txt"}) {
        ToolRun run = ws.Run({"-BATCH", source});
        EXPECT_EQ(run.status, 255) << source;
        EXPECT_EQ(run.out, message) << source;
        EXPECT_EQ(run.err, "treepak: " + std::string(source) + ": neither a directory nor a cabinet file (.cab)\n");
    }
    EXPECT_TRUE(ws.TmpIsEmpty());
}

// Selection: cabinets and KVF files marked compressed (byte 125 >= 0x80)
// are refused with an error line, named on standard error too, and end the
// run with status 1; the skip list goes by whole name in any directory and
// any case, and speaks only under -V.
TEST(FrontEnd, CreatingLineAndSelectionMessages) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    auto kvf = [](size_t size, uint8_t byte125) {
        std::vector<uint8_t> bytes(size, 0x11);
        if (size > 125) bytes[125] = byte125;
        return bytes;
    };
    WriteFileBytes(src / "sub" / "z.kvf", kvf(128, 0x80));
    WriteFileBytes(src / "sub" / "plain.kvf", kvf(200, 0x7F));
    WriteFileBytes(src / "readme.KVF", kvf(200, 0xFF));
    WriteFileBytes(src / "short.kvf", kvf(100, 0));
    WriteFileText(src / "old.cab", "previous run");
    for (const char* skipped : {"sub/FOLDVIEW.INI", "RollCall.dat", "skinset.DAT", "veldmap.dat", "qrt.ini", "Glimpse.db"})
        WriteFileText(src / skipped, "skip me");
    WriteFileText(src / "foldview.ini.bak", "bak");
    WriteFileText(src / "keep.txt", "keep");

    ToolRun run = ws.Run({"-BATCH", "-NOCOMPRESS", "src"});
    uintmax_t size = fs::file_size(ws.dir() / "src.CAB");
    EXPECT_EQ(run.out, Banner() +
                           "Creating src.CAB from src\\*.*\n"
                           "***** ERROR: trying to add KVFZIPed file to CAB: z.kvf\n"
                           "***** ERROR: trying to add CAB file to CAB: old.cab\n"
                           "***** ERROR: trying to add KVFZIPed file to CAB: readme.KVF\n"
                           "\n"
                           "Stored 4 files (307 bytes) in " +
                           std::to_string(size) + " bytes (" + std::to_string(size * 100 / 307) + "%)\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "treepak: src/sub/z.kvf: left out: a compressed KVF file\n"
              "treepak: src/old.cab: left out: a cabinet file\n"
              "treepak: src/readme.KVF: left out: a compressed KVF file\n");

    // Verbose: the walk's lines in walk order, the writer's progress (its
    // exact sequence is the engine's), the cleared line and the end.
    run = ws.Run({"-NOLOGO", "-V", "-NOCOMPRESS", "src", "out.cab"});
    const std::string walk =
        "Walking...\n"
        "skiping file: FOLDVIEW.INI\n"
        "***** ERROR: trying to add KVFZIPed file to CAB: z.kvf\n"
        "skiping file: Glimpse.db\n"
        "skiping file: RollCall.dat\n"
        "***** ERROR: trying to add CAB file to CAB: old.cab\n"
        "skiping file: qrt.ini\n"
        "***** ERROR: trying to add KVFZIPed file to CAB: readme.KVF\n"
        "skiping file: skinset.DAT\n"
        "skiping file: veldmap.dat\n"
        "CABing...\n";
    EXPECT_TRUE(run.out.starts_with(walk)) << run.out;
    EXPECT_NE(run.out.find("   placed file 'keep.txt' (size 4) on cabinet 'out.cab'\n"), std::string::npos);
    EXPECT_NE(run.out.find("   Compressing:       307 ->       307             \r"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("\r" + std::string(49, ' ') + "\rTREEPAK Done!\n")) << run.out;
    // No build progress line under -V: the only newlines are the lines above.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 16);
}

TEST(FrontEnd, WildcardSourceAndTrailingSeparator) {
    Workspace ws;
    WriteFileText(ws.dir() / "data" / "a.kvf", "kvf one");
    WriteFileText(ws.dir() / "data" / "b.txt", "text");
    WriteFileText(ws.dir() / "data" / "sub" / "c.KVF", "kvf two");

    ToolRun run = ws.Run({"-BATCH", "-NOCOMPRESS", "-V", "data/*.kvf"});
    EXPECT_TRUE(run.out.starts_with(Banner() + "Creating data.CAB from data\\*.kvf\nWalking...\nCABing...\n"));
    EXPECT_NE(run.out.find("placed file 'sub\\c.KVF'"), std::string::npos);
    EXPECT_NE(run.out.find("placed file 'a.kvf'"), std::string::npos);
    EXPECT_EQ(run.out.find("b.txt"), std::string::npos);

    // Trailing separators name the cabinet beside the source, never inside.
    for (const char* source : {"data/", "data//"}) {
        run = ws.Run({"-BATCH", "-NOCOMPRESS", source});
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out.starts_with(Banner() + "Creating data.CAB from " + source + "\\*.*\n")) << run.out;
        EXPECT_TRUE(fs::exists(ws.dir() / "data.CAB"));
        EXPECT_EQ(fs::remove(ws.dir() / "data.CAB") && !fs::exists(ws.dir() / "data" / ".CAB"), true);
    }
}

TEST(FrontEnd, ProgressDisplayUsesStandardErrorOnlyOnATerminal) {
    Workspace ws;
    for (int i = 0; i < 5; ++i) WriteFileText(ws.dir() / "src" / ("f" + std::to_string(i)), "content");
    ToolRun plain = ws.Run({"-NOCOMPRESS", "src", "a.cab"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");

    // Standard error on a pseudo-terminal, standard output to a file: the
    // display appears there and standard output is unchanged.
    if (testsupport::RunCommand("command -v script >/dev/null", nullptr) != 0) GTEST_SKIP() << "no script(1)";
    std::string outFile = (ws.root.path() / "tty-out.txt").string();
    auto onTerminal = [&](const std::string& options, const std::string& cabinet, std::string* terminal) {
        std::string inner = "cd " + ShellQuote(ws.dir().string()) + " && LC_ALL=C TMP=" +
                            ShellQuote(ws.tmp().string()) + " " + ShellQuote(TreepakBinary()) + " " + options +
                            " src " + cabinet + " >" + ShellQuote(outFile);
        return testsupport::RunCommand("script -qec " + ShellQuote(inner) + " /dev/null", terminal);
    };
    std::string terminal;
    ASSERT_EQ(onTerminal("-NOCOMPRESS", "b.cab", &terminal), 0);
    EXPECT_NE(terminal.find("treepak - working... ["), std::string::npos);
    // Five files, five steps of 2: the bar ends at 10.
    EXPECT_NE(terminal.find("[#####.....", 0), std::string::npos);
    EXPECT_NE(terminal.find(" 10%"), std::string::npos);
    char last[128];
    FormatProgressLine(10, last, sizeof last);
    const std::string erased = std::string(last) + "\r" + std::string(std::strlen(last) - 1, ' ') + "\r";
    EXPECT_TRUE(terminal.ends_with(erased));
    auto out = testsupport::ReadFileBytes(outFile);
    std::string expected = plain.out;
    expected.replace(expected.find("a.cab"), 5, "b.cab");
    EXPECT_EQ(std::string(out.begin(), out.end()), expected);

    // Both streams on the terminal: every console line starts on a line of
    // its own. -NOLOGO never moves the bar, so none is drawn.
    std::string both;
    const std::string command =
        "cd " + ShellQuote(ws.dir().string()) + " && " + ShellQuote(TreepakBinary()) + " -NOCOMPRESS src d.cab";
    ASSERT_EQ(testsupport::RunCommand("script -qec " + ShellQuote(command) + " /dev/null", &both), 0);
    EXPECT_NE(both.find(erased + "\r\nStored 5 files"), std::string::npos) << both;
    ASSERT_EQ(onTerminal("-NOCOMPRESS -NOLOGO", "e.cab", &terminal), 0);
    EXPECT_EQ(terminal, "");

    ASSERT_EQ(onTerminal("-NOCOMPRESS -BATCH", "c.cab", &terminal), 0);
    EXPECT_EQ(terminal, "");
}

TEST(FrontEnd, ExpandModeIsChosenByTheCabExtension) {
    Workspace ws;
    WriteFileText(ws.dir() / "pack.cab" / "a.txt", "alpha");
    WriteFileText(ws.dir() / "pack.cab" / "sub" / "b.txt", "beta");
    ToolRun run = ws.Run({"-NOLOGO", "-V", "-NOCOMPRESS", "pack.cab", "pack.CAB"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("CABing...\n"), std::string::npos);
    fs::rename(ws.dir() / "pack.cab", ws.dir() / "original");

    run = ws.Run({"-BATCH", "pack.CAB"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fs::exists(ws.dir() / "pack" / "sub" / "b.txt"));
    run = ws.Run({"-BATCH", "-V", "-D", "pack.CAB", "elsewhere"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "TREEPAK Done!\n");
    EXPECT_TRUE(fs::exists(ws.dir() / "elsewhere" / "a.txt"));
    EXPECT_FALSE(fs::exists(ws.dir() / "pack.CAB"));
    run = ws.Run({"missing.CAB"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ws.Run({"-V", "missing.cab", "dest"}).out, "TREEPAK failed\n");
}

}  // namespace treepak
