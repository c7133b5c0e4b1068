// Hostile cabinets through the tool's expand mode and cabread. Each run must
// end with status 0, 1 or 255 (255 where the cabinet is certainly broken; a
// line on standard error whenever it is not 0), within a time limit, and
// create nothing outside the destination; cabread ends with 0, 1 or 2.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cab_builder.h"
#include "cabinet/format.h"
#include "test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using testsupport::CabBlockLayout;
using testsupport::CabFileLayout;
using testsupport::CabFolderLayout;
using testsupport::CabLayout;

constexpr int kStatusFailure = 255;
constexpr int kStatusSuccess = 0;
constexpr int kStatusIncomplete = 1;
constexpr const char* kTimeLimit = "timeout -s KILL 60 ";
constexpr uint16_t kTypeNone = 0;
constexpr uint16_t kTypeDeflate = 1;
constexpr uint32_t kBlockSize = 32768;
// Header (36 bytes) of a cabinet without reserve or neighbour names.
constexpr size_t kHeaderSize = 36;

std::vector<std::string> EntriesOutsideDestination(const fs::path& root) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (relative != "out" && relative.rfind("out/", 0) != 0) entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Runs `command` (with CAB and OUT standing for the cabinet and its own
// destination out/<index>) on every cabinet, all from one shell script, and
// returns the exit statuses in order, each with whether the run printed a
// message (on standard error, or a FAILED line). The files of `work` must be
// the same afterwards.
struct Ending {
    int status;
    bool said;
};
std::vector<Ending> RunEach(const fs::path& work, const std::vector<std::string>& cabinets, const std::string& command) {
    const std::vector<std::string> before = EntriesOutsideDestination(work);
    std::string script = "cd '" + work.string() + "' && mkdir -p out && ";
    for (size_t i = 0; i < cabinets.size(); ++i)
        script += "CAB='" + cabinets[i] + "' OUT=out/" + std::to_string(i) + "; " + kTimeLimit + command +
                  " 2>out/err | grep -c FAILED >out/said; echo ${PIPESTATUS[0]} $(cat out/said) $(wc -c <out/err); ";
    std::string output;
    testsupport::RunCommand("bash -c " + ShellQuote(script), &output);
    std::vector<Ending> endings;
    std::istringstream lines(output);
    for (int status, failedLines, errBytes; lines >> status >> failedLines >> errBytes;)
        endings.push_back({status, failedLines + errBytes > 0});
    EXPECT_EQ(endings.size(), cabinets.size());
    endings.resize(cabinets.size(), Ending{-1, false});
    EXPECT_EQ(EntriesOutsideDestination(work), before);
    fs::remove_all(work / "out");
    return endings;
}

// Expands every cabinet into its own directory; any status but 0, 1 (files
// left out) and 255 (a crash, a sanitizer report, the time limit), or 1 or
// 255 without a word, is a failure.
std::vector<int> ExpandAll(const fs::path& work, const std::vector<std::string>& cabinets) {
    const std::vector<Ending> endings = RunEach(work, cabinets, TreepakBinary() + " -BATCH \"$CAB\" $OUT");
    std::vector<int> statuses;
    for (size_t i = 0; i < cabinets.size(); ++i) {
        statuses.push_back(endings[i].status);
        const int status = endings[i].status;
        if (status != kStatusSuccess && status != kStatusIncomplete && status != kStatusFailure)
            ADD_FAILURE() << cabinets[i] << ": status " << status;
        if (status != kStatusSuccess && !endings[i].said) ADD_FAILURE() << cabinets[i] << ": no diagnostic";
    }
    return statuses;
}

// cabread's three readings of every cabinet end with 0, 1 or 2, and with a
// message unless 0.
void ReadAll(const fs::path& work, const std::vector<std::string>& cabinets) {
    for (const char* mode : {"-l --json", "-t -q", "-x -q -d $OUT"}) {
        const std::vector<Ending> endings = RunEach(work, cabinets, CabreadBinary() + " " + mode + " \"$CAB\"");
        for (size_t i = 0; i < cabinets.size(); ++i) {
            EXPECT_TRUE(endings[i].status >= 0 && endings[i].status <= 2) << mode << " " << cabinets[i] << ": status " << endings[i].status;
            EXPECT_TRUE(endings[i].status == 0 || endings[i].said) << mode << " " << cabinets[i] << ": no message";
        }
    }
}

int ExpandIn(const fs::path& work, const std::string& cabinet) { return ExpandAll(work, {cabinet}).front(); }

std::vector<std::string> WriteVariants(const fs::path& work, const std::string& stem,
                                       const std::vector<std::vector<uint8_t>>& variants) {
    std::vector<std::string> names;
    for (size_t i = 0; i < variants.size(); ++i) {
        names.push_back(stem + std::to_string(i) + ".cab");
        testsupport::WriteFileBytes(work / names.back(), variants[i]);
    }
    return names;
}

std::vector<uint8_t> DeflateBlock(const std::vector<uint8_t>& plain) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(2 + deflateBound(&stream, plain.size()));
    out[0] = 'C';
    out[1] = 'K';
    stream.next_in = const_cast<uint8_t*>(plain.data());
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    deflate(&stream, Z_FINISH);
    out.resize(2 + stream.total_out);
    deflateEnd(&stream);
    return out;
}

CabBlockLayout Block(std::vector<uint8_t> data, size_t uncompressed) {
    CabBlockLayout block;
    block.data = std::move(data);
    block.uncompressedSize = static_cast<uint16_t>(uncompressed);
    return block;
}

// A stored folder with two files and a block-deflate folder with one, in a
// subdirectory: small enough to run the tool once per byte.
CabLayout SmallValidLayout() {
    const std::vector<uint8_t> text = testsupport::TextBytes(300, 11);
    const std::vector<uint8_t> stored = testsupport::RandomBytes(30, 12);
    CabLayout layout;
    layout.setId = 0x4321;
    CabFolderLayout none;
    none.compressionType = kTypeNone;
    none.blocks.push_back(Block(stored, stored.size()));
    CabFolderLayout deflate;
    deflate.compressionType = kTypeDeflate;
    deflate.blocks.push_back(Block(DeflateBlock(text), text.size()));
    layout.folders = {none, deflate};
    layout.files = {CabFileLayout{"one.bin", 10, 0, 0, 0x5A21, 0x6000, 0x20},
                    CabFileLayout{"sub\\two.bin", 20, 10, 0, 0x5A21, 0x6000, 0x20},
                    CabFileLayout{"sub\\deep\\three.txt", 300, 0, 1, 0x5A21, 0x6000, 0x21}};
    return layout;
}

size_t TablesEnd(const CabLayout& layout) {
    constexpr size_t kFolderEntry = 8, kFileEntryFixed = 16;
    size_t end = kHeaderSize + layout.folders.size() * kFolderEntry;
    for (const CabFileLayout& f : layout.files) end += kFileEntryFixed + f.name.size() + 1;
    return end;
}

TEST(HostileExpand, EveryTruncationFails) {
    const std::vector<uint8_t> cabinet = testsupport::BuildCabinetBytes(SmallValidLayout());
    std::vector<std::vector<uint8_t>> cuts;
    for (size_t length = 0; length <= cabinet.size(); ++length)
        cuts.emplace_back(cabinet.begin(), cabinet.begin() + static_cast<long>(length));
    testsupport::ScratchDir scratch;
    const std::vector<int> statuses = ExpandAll(scratch.path(), WriteVariants(scratch.path(), "cut", cuts));
    for (size_t length = 0; length < statuses.size(); ++length)
        EXPECT_EQ(statuses[length], length == cabinet.size() ? kStatusSuccess : kStatusFailure) << "length " << length;
}

// A corrupted name, date or reserved field may still expand; what matters
// is a clean end and nothing outside the destination.
TEST(HostileExpand, EveryHeaderAndTableByteCorrupted) {
    const CabLayout layout = SmallValidLayout();
    const std::vector<uint8_t> cabinet = testsupport::BuildCabinetBytes(layout);
    std::vector<std::vector<uint8_t>> corrupted;
    for (size_t at = 0; at < TablesEnd(layout); ++at) {
        for (uint8_t mask : {uint8_t{0x01}, uint8_t{0xFF}}) {
            corrupted.push_back(cabinet);
            corrupted.back()[at] ^= mask;
        }
    }
    testsupport::ScratchDir scratch;
    ExpandAll(scratch.path(), WriteVariants(scratch.path(), "bad", corrupted));
}

TEST(HostileExpand, SizeClaimsThatDoNotHold) {
    const std::vector<uint8_t> text = testsupport::TextBytes(1000, 21);
    struct Case {
        const char* what;
        uint16_t type;
        std::vector<uint8_t> data;
        size_t claimed;
        uint32_t fileSize;
    };
    const std::vector<Case> cases = {
        {"deflate claims less", kTypeDeflate, DeflateBlock(text), text.size() - 1, 900},
        {"deflate claims more", kTypeDeflate, DeflateBlock(text), text.size() + 1, 1000},
        {"deflate claims more than a block", kTypeDeflate, DeflateBlock(text), kBlockSize + 1, 1000},
        {"stored claims less", kTypeNone, text, text.size() - 10, 900},
        {"stored claims more", kTypeNone, text, text.size() + 10, 1000},
        {"file past the folder", kTypeNone, text, text.size(), 1001},
        {"file past the folder (deflate)", kTypeDeflate, DeflateBlock(text), text.size(), 5000},
    };
    testsupport::ScratchDir scratch;
    for (const Case& c : cases) {
        CabLayout layout;
        CabFolderLayout folder;
        folder.compressionType = c.type;
        folder.blocks.push_back(Block(c.data, c.claimed));
        layout.folders = {folder};
        layout.files = {CabFileLayout{"claim.txt", c.fileSize, 0, 0, 0, 0, 0x20}};
        testsupport::WriteFileBytes(scratch.path() / "claim.cab", testsupport::BuildCabinetBytes(layout));
        EXPECT_EQ(ExpandIn(scratch.path(), "claim.cab"), kStatusFailure) << c.what;
    }
}

void WriteSpannedPair(const fs::path& dir, uint16_t secondSetId, uint16_t secondIndex, const std::string& secondNext) {
    const std::vector<uint8_t> text = testsupport::TextBytes(3000, 31);
    const auto pieces = testsupport::CutFolderBlocks(testsupport::StoredBlocks(text), {1200});
    CabLayout first;
    first.setId = 7;
    first.hasNext = true;
    first.nextCabinet = "b.cab";
    first.nextDisk = "disk b";
    first.folders = {CabFolderLayout{kTypeNone, pieces[0], {}}};
    first.files = {CabFileLayout{"whole.txt", 500, 0, 0, 0, 0, 0x20},
                   CabFileLayout{"spans.txt", 2500, 500, FOLDER_CONTINUED_TO_NEXT, 0, 0, 0x20}};
    CabLayout second;
    second.setId = secondSetId;
    second.cabinetIndex = secondIndex;
    second.hasPrev = true;
    second.prevCabinet = "a.cab";
    second.prevDisk = "disk a";
    second.hasNext = !secondNext.empty();
    second.nextCabinet = secondNext;
    second.nextDisk = "disk a";
    second.folders = {CabFolderLayout{kTypeNone, pieces[1], {}}};
    second.files = {CabFileLayout{"spans.txt", 2500, 500, FOLDER_CONTINUED_FROM_PREV, 0, 0, 0x20}};
    testsupport::WriteFileBytes(dir / "a.cab", testsupport::BuildCabinetBytes(first));
    testsupport::WriteFileBytes(dir / "b.cab", testsupport::BuildCabinetBytes(second));
}

TEST(HostileExpand, BrokenSpannedSets) {
    testsupport::ScratchDir scratch;
    WriteSpannedPair(scratch.path(), 7, 1, "");
    ASSERT_EQ(ExpandIn(scratch.path(), "a.cab"), kStatusSuccess);  // the pair itself is sound

    WriteSpannedPair(scratch.path(), 8, 1, "");  // second cabinet of another set
    EXPECT_EQ(ExpandIn(scratch.path(), "a.cab"), kStatusFailure);
    WriteSpannedPair(scratch.path(), 7, 5, "");  // right set, wrong place in it
    EXPECT_EQ(ExpandIn(scratch.path(), "a.cab"), kStatusFailure);
    WriteSpannedPair(scratch.path(), 7, 1, "a.cab");  // b names a again
    EXPECT_EQ(ExpandIn(scratch.path(), "a.cab"), kStatusFailure);
    fs::remove(scratch.path() / "b.cab");  // the continuation is missing
    EXPECT_EQ(ExpandIn(scratch.path(), "a.cab"), kStatusFailure);
}

// Corpus cabinets are expanded under a name ending in ".cab" so the tool
// takes expand mode.
TEST(HostileExpand, RegressionCorpus) {
    const fs::path corpus = fs::path(TREEPAK_SOURCE_DIR) / "tests" / "regression" / "corpus";
    std::vector<std::vector<uint8_t>> inputs;
    for (const auto& entry : fs::directory_iterator(corpus)) inputs.push_back(testsupport::ReadFileBytes(entry.path()));
    ASSERT_FALSE(inputs.empty());
    testsupport::ScratchDir scratch;
    const std::vector<std::string> names = WriteVariants(scratch.path(), "input", inputs);
    ExpandAll(scratch.path(), names);
    ReadAll(scratch.path(), names);
}

}  // namespace

}  // namespace treepak
