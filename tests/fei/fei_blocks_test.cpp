#include <gtest/gtest.h>

#include "fei_harness.h"
#include "test_support.h"

namespace treepak {

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

CabLayout TwoFolders(uint16_t firstType) {
    CabLayout layout = StoredCabinet({{"a", {1, 2, 3}}}, firstType);
    CabLayout other = StoredCabinet({{"b", {4, 5}}});
    other.files[0].folderIndex = 1;
    layout.folders.push_back(other.folders[0]);
    layout.files.push_back(other.files[0]);
    return layout;
}

TEST(FeiBlocks, BrokenCabinetsFailWithTheirCode) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int code;
        bool reserves = false;  // the context then keeps expecting them
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, const CabLayout& layout, int code) {
        cases.push_back({what, BuildCabinetBytes(layout), code});
    };
    CabLayout layout = StoredCabinet({{"a", {1}}});
    layout.version = 0x0102;
    add("old version", layout, FEIERR_VERSION);
    add("name of 256 bytes", StoredCabinet({{std::string(256, 'n'), {1, 2}}}), FEIERR_CORRUPT);
    cases.push_back({"name without its NUL", BuildCabinetBytes(StoredCabinet({{"abc", {}}})), FEIERR_CORRUPT});
    cases.back().bytes.pop_back();
    layout = StoredCabinet({{"a", {1, 2, 3, 4}}});
    layout.folders[0].blocks[0].uncompressedSize = 5;
    layout.files[0].size = 5;
    add("stored sizes disagree", layout, FEIERR_DECODE);
    layout = StoredCabinet({{"a", std::vector<uint8_t>(32769, 9)}});
    layout.folders[0].blocks.resize(1);
    layout.folders[0].blocks[0].data.assign(32769, 9);
    layout.folders[0].blocks[0].uncompressedSize = 32769;
    add("block larger than 32768", layout, FEIERR_CORRUPT);
    layout = StoredCabinet({{"a", std::vector<uint8_t>(40000, 1)}});
    layout.folders[0].blockCountOverride = 1;
    add("folder runs out without a next cabinet", layout, FEIERR_CORRUPT);
    for (uint16_t type : {0x0004, 0x000E, 0x000F}) add("unknown kind", TwoFolders(type), FEIERR_COMPRESSION_TYPE);
    for (uint32_t bits : {9u, 22u}) add("Quantum window", TwoFolders(MakeQuantumType(bits)), FEIERR_DECODE);
    // A flipped data byte, and a flipped data-reserve byte, both fail the checksum.
    layout = StoredCabinet({{"a", testsupport::RandomBytes(40000, 11)}});
    layout.reservePresent = true;
    layout.dataReserveSize = 4;
    const auto good = BuildCabinetBytes(layout);
    const size_t firstBlock = good.size() - (8 + 4 + 32768) - (8 + 4 + (40000 - 32768));
    for (size_t at : {firstBlock + 8 + 4 + 100, firstBlock + 8 + 1}) {
        cases.push_back({"flipped checksummed byte", good, FEIERR_CORRUPT, true});
        cases.back().bytes[at] ^= 0x01;
    }

    for (const Case& c : cases) {
        Harness h;
        h.cabinets["x.cab"] = c.bytes;
        EXPECT_EQ(h.Extract("x.cab"), 0) << c.what;
        EXPECT_EQ(h.error.errorCode, c.code) << c.what;
        EXPECT_TRUE(h.OfKind(FEI_NOTIFY_NEXT_CABINET).empty()) << c.what;
        if (c.reserves) continue;
        // The context survives the failure.
        h.cabinets["y.cab"] = BuildCabinetBytes(StoredCabinet({{"z", {9}}}));
        EXPECT_EQ(h.Extract("y.cab"), 1) << c.what;
        EXPECT_EQ(h.extracted["z"], std::vector<uint8_t>{9}) << c.what;
    }
    Harness h;
    EXPECT_EQ(h.Extract("none.cab"), 0);
    EXPECT_EQ(h.error.errorCode, FEIERR_OPEN_CABINET);
}

TEST(FeiBlocks, FilesAcrossFoldersAndLastFolderForContinuedToNext) {
    const auto a = testsupport::RandomBytes(45000, 21);
    const auto b = testsupport::TextBytes(70000, 22);
    const auto c = testsupport::RandomBytes(100, 23);
    CabLayout layout = StoredCabinet({{"a", a}});
    CabLayout second = StoredCabinet({{"b", b}, {"c", c}});
    for (auto& f : second.files) f.folderIndex = 1;
    // "c" is marked as going on into a next cabinet: it lies in the last folder.
    second.files[1].folderIndex = FOLDER_CONTINUED_TO_NEXT;
    layout.folders.push_back(second.folders[0]);
    layout.files.insert(layout.files.end(), second.files.begin(), second.files.end());
    // A checksum stored as zero is not checked.
    layout.folders[0].blocks[1].writeChecksum = false;
    // Extract in the order c, b, a: the engine goes back to the start of
    // folder 1, then switches to folder 0.
    std::swap(layout.files[0], layout.files[2]);
    Harness h;
    h.cabinets["x.cab"] = BuildCabinetBytes(layout);
    ASSERT_EQ(h.Extract("x.cab", "", true), 1) << h.error.errorCode;
    EXPECT_EQ(h.extracted["a"], a);
    EXPECT_EQ(h.extracted["b"], b);
    EXPECT_EQ(h.extracted["c"], c);
    std::vector<uint16_t> folders;
    for (const Event* e : h.OfKind(HOOK_EVENT_BASE + FEI_HOOK_FOLDER)) folders.push_back(e->folderIndex);
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.front(), 1);
    EXPECT_EQ(folders.back(), 0);
}

}  // namespace
}  // namespace feitest

}  // namespace treepak
