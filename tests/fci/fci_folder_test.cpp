#include "fci_fixture.h"

namespace treepak {

using testsupport::RandomBytes;

namespace {

constexpr int32_t kFlush = -1;  // a step that closes the folder instead of adding a file
constexpr uint16_t kOtherWord = 0x0010;  // bits 4-7 are not interpreted, yet make another word

struct Step {
    int32_t size;
    uint16_t type = COMPRESS_NONE;
};

struct LayoutCase {
    const char* what;
    uint32_t folderThreshold;
    std::vector<Step> steps;
    std::vector<std::vector<uint16_t>> blocks;  // uncompressed block sizes per folder
    std::vector<uint16_t> types;                // per folder, when checked
};

}  // namespace

TEST_F(FciTest, FilesIntoFoldersAndBlocks) {
    const LayoutCase cases[] = {
        {"blocks run across files", 0x7FFFFFFF, {{10000}, {10000}, {10000}}, {{30000}}, {}},
        {"full blocks while adding", 0x7FFFFFFF, {{32768}, {40000}, {30000}, {0}}, {{32768, 32768, 32768, 4464}}, {}},
        {"an empty file makes no block", 0x7FFFFFFF, {{0}}, {{}}, {}},
        // Files stay together until a block has been emitted (the fourth),
        // then every file with a full block closes its folder.
        {"threshold counts emitted blocks", 0, {{10000}, {10000}, {10000}, {10000}, {10000}, {10000}},
         {{32768, 7232}, {20000}}, {}},
        {"a new type word closes the folder", 0x7FFFFFFF,
         {{100}, {100, kOtherWord}, {100}, {100}}, {{100}, {100}, {200}},
         {COMPRESS_NONE, kOtherWord, COMPRESS_NONE}},
        {"flushing nothing places no folder", 0x7FFFFFFF, {{kFlush}, {10}, {kFlush}, {kFlush}, {10}}, {{10}, {10}}, {}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        sources.clear();
        CabParams p = Params();
        p.folderThreshold = c.folderThreshold;
        ASSERT_TRUE(Create(p));
        int n = 0;
        for (const Step& step : c.steps) {
            if (step.size == kFlush) {
                ASSERT_EQ(fcitest::FlushFolder(context), 1);
            } else {
                ASSERT_EQ(Add("f" + std::to_string(n), RandomBytes(step.size, n), step.type), 1);
                ++n;
            }
        }
        ASSERT_EQ(fcitest::FlushCabinet(context), 1);
        ASSERT_EQ(Destroy(), 1);
        const testsupport::ParsedCabinet cab = ParseSet({"out.cab"})[0];
        std::vector<std::vector<uint16_t>> blocks;
        std::vector<uint16_t> types;
        for (const auto& folder : cab.folders) {
            blocks.emplace_back();
            for (const auto& b : folder.blocks) blocks.back().push_back(b.uncompressedSize);
            types.push_back(folder.compressionType);
        }
        EXPECT_EQ(blocks, c.blocks);
        if (!c.types.empty()) {
            EXPECT_EQ(types, c.types);
        }
    }
}

TEST_F(FciTest, KindsWithoutACompressorAreRefused) {
    struct Case {
        uint16_t type;
        int32_t code;
    };
    std::vector<Case> cases{{MakeQuantumType(15), FCIERR_COMPRESSION_TYPE}, {MakeLzxType(14), FCIERR_COMPRESS}};
    for (uint16_t kind = 4; kind <= 14; ++kind) cases.push_back({kind, FCIERR_COMPRESSION_TYPE});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        errors = {};
        ASSERT_TRUE(Create(Params()));
        EXPECT_EQ(Add("a", {1, 2, 3}, c.type), 0);
        EXPECT_EQ(errors.errorCode, c.code);
        EXPECT_EQ(Destroy(), 1);
    }
}

}  // namespace treepak
