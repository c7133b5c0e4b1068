// Names beyond ASCII: the tool marks every stored name with a byte of 0x80
// or more as UTF-8 (attribute 0x80) and leaves ASCII names' attributes as
// they were; on extraction a marked or already-UTF-8 name is used as it is,
// and any other name is read as Windows-1252.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "app/expand/expand_cabinet.h"
#include "cab_parser.h"
#include "expand_test_support.h"
#include "test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using expandtest::CabFile;

constexpr uint16_t kNameIsUtf8 = 0x80;

bool HasHighByte(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void NoProgress(void*, const char*, int32_t, int32_t) {}

TEST(Utf8Names, SeveralScriptsRoundTripAndOnlyNonAsciiNamesAreMarked) {
    Workspace ws;
    const fs::path source = ws.dir() / "src";
    const std::vector<std::string> names = {
        "plain.txt",          "ascii dir/readme",      "café.txt",
        "naïve/Ünïcödé.bin",  "Ελληνικά/αλφάβητο.txt", "日本語/漢字と仮名.txt",
        "emoji 😀/🎉.dat",    "mixed/Ωmega-ß-€.txt",
    };
    int seed = 1;
    for (const std::string& name : names) testsupport::WriteFileBytes(source / name, testsupport::TextBytes(500, seed++));
    const auto before = testsupport::TreeContents(source);
    chmod((source / "日本語/漢字と仮名.txt").c_str(), 0444);
    chmod((source / "plain.txt").c_str(), 0444);

    ws.ExpectSuccess({"-BATCH", "-NOLOGO", "src", "pack.cab"});
    testsupport::ParsedCabinet cabinet;
    ASSERT_EQ(testsupport::ParseCabinet(testsupport::ReadFileBytes(ws.dir() / "pack.cab"), &cabinet), "");
    ASSERT_EQ(cabinet.files.size(), names.size());
    for (const testsupport::ParsedFile& file : cabinet.files) {
        // Apart from the name bit, a non-ASCII name changes nothing.
        const bool readOnly = file.name == "plain.txt" || file.name == "日本語\\漢字と仮名.txt";
        EXPECT_EQ(file.attributes, (HasHighByte(file.name) ? kNameIsUtf8 : 0) | (readOnly ? 0x21 : 0x20)) << file.name;
    }

    // -D checks the set against the sources by name before deleting them.
    ws.ExpectSuccess({"-BATCH", "-NOLOGO", "-D", "src", "pack2.cab"});
    EXPECT_FALSE(fs::exists(source / "café.txt"));
    ws.ExpectSuccess({"-BATCH", "pack2.cab", "out"});
    EXPECT_EQ(testsupport::TreeContents(ws.dir() / "out"), before);
}

TEST(Utf8Names, UnmarkedNamesThatAreNotUtf8AreReadAsWindows1252) {
    testsupport::ScratchDir scratch;
    const std::vector<CabFile> files = {
        CabFile{"caf\xE9.txt", Bytes("latin")},                  // é
        CabFile{"\x80 \x81 \x9F.txt", Bytes("c1 range")},        // euro, undefined, Y diaeresis
        CabFile{"d\xEF" "r\\\xDC" "ber.txt", Bytes("nested")},   // ïr/Über
        CabFile{"already-\xC3\xA9.txt", Bytes("valid utf-8")},   // é, left alone
        CabFile{"marked-\xE9.txt", Bytes("marked"), 0xA1},       // marked: bytes kept as they are
        CabFile{"..\\\xE9scape.txt", Bytes("out")},               // converted names are checked for safety
        CabFile{"\\abs\xE9.txt", Bytes("out")},
    };
    testsupport::WriteFileBytes(scratch.path() / "pack.cab", expandtest::BuildCabinet(files));
    const fs::path out = scratch.path() / "dest" / "out";
    EXPECT_EQ(ExpandCabinet((scratch.path() / "pack.cab").c_str(), out.c_str(), NoProgress, nullptr), 0);
    EXPECT_EQ(testsupport::TreeContents(scratch.path() / "dest").size(), 5u);

    const std::map<std::string, std::vector<uint8_t>> expected = {
        {"café.txt", Bytes("latin")},
        {"\u20AC \u0081 \u0178.txt", Bytes("c1 range")},
        {"dïr/Über.txt", Bytes("nested")},
        {"already-é.txt", Bytes("valid utf-8")},
        {"marked-\xE9.txt", Bytes("marked")},
    };
    EXPECT_EQ(testsupport::TreeContents(out), expected);

    // The name bit is no permission: 0xA1 gives what 0x21 gives, read-only
    // and nothing executable.
    struct stat marked {};
    ASSERT_EQ(stat((out / "marked-\xE9.txt").c_str(), &marked), 0);
    EXPECT_EQ(marked.st_mode & 0222, 0u);
    EXPECT_EQ(marked.st_mode & 0111, 0u);
}

}  // namespace

}  // namespace treepak
