// Data blocks of one cabinet: checksums, block and size limits, folder
// selection over several folders, and files placed by continuation values.
#include <gtest/gtest.h>

#include "fei_harness.h"
#include "fei_test_cabinets.h"
#include "test_support.h"

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

TEST(FeiBlocks, ChecksumsAreVerifiedUnlessStoredAsZero) {
    const NamedBytes files = {{"a", testsupport::RandomBytes(40000, 11)}};
    {
        CabLayout layout = StoredCabinet(files);
        layout.folders[0].blocks[1].writeChecksum = false;
        Harness h;
        h.cabinets["x.cab"] = BuildCabinetBytes(layout);
        ASSERT_EQ(h.Extract("x.cab"), 1);
        EXPECT_EQ(h.extracted["a"], files[0].second);
    }
    // A flipped data byte, and a flipped data-reserve byte, are both caught.
    for (size_t flipAt : {size_t{0}, size_t{5}}) {
        CabLayout layout = StoredCabinet(files);
        layout.reservePresent = true;
        layout.dataReserveSize = 4;
        auto bytes = BuildCabinetBytes(layout);
        const size_t firstBlock = bytes.size() - (8 + 4 + 32768) - (8 + 4 + (40000 - 32768));
        bytes[firstBlock + (flipAt == 0 ? 8 + 4 + 100 : 8 + 1)] ^= 0x01;
        Harness h;
        h.cabinets["x.cab"] = bytes;
        EXPECT_EQ(h.Extract("x.cab"), 0);
        EXPECT_EQ(h.error.errorCode, FEIERR_CORRUPT);
    }
}

TEST(FeiBlocks, StoredBlockSizesMustAgreeAndFitTheBuffer) {
    CabLayout mismatch = StoredCabinet({{"a", {1, 2, 3, 4}}});
    mismatch.folders[0].blocks[0].uncompressedSize = 5;
    mismatch.files[0].size = 5;
    Harness h;
    h.cabinets["x.cab"] = BuildCabinetBytes(mismatch);
    EXPECT_EQ(h.Extract("x.cab"), 0);
    EXPECT_EQ(h.error.errorCode, FEIERR_DECODE);

    CabLayout large = StoredCabinet({{"a", std::vector<uint8_t>(32769, 9)}});
    large.folders[0].blocks.resize(1);
    large.folders[0].blocks[0].data.assign(32769, 9);
    large.folders[0].blocks[0].uncompressedSize = 32769;
    Harness big;
    big.cabinets["x.cab"] = BuildCabinetBytes(large);
    EXPECT_EQ(big.Extract("x.cab"), 0);
    EXPECT_EQ(big.error.errorCode, FEIERR_CORRUPT);
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
    // Extract in the order b, a, c to make the engine switch folders.
    std::swap(layout.files[0], layout.files[1]);
    Harness h;
    h.cabinets["x.cab"] = BuildCabinetBytes(layout);
    ASSERT_EQ(h.Extract("x.cab", "", true), 1) << h.error.errorCode;
    EXPECT_EQ(h.extracted["a"], a);
    EXPECT_EQ(h.extracted["b"], b);
    EXPECT_EQ(h.extracted["c"], c);
    std::vector<uint16_t> folders;
    for (const Event* e : h.OfKind(HOOK_EVENT_BASE + FEI_HOOK_FOLDER)) folders.push_back(e->folderIndex);
    EXPECT_EQ(folders, (std::vector<uint16_t>{1, 0, 1}));
}

}  // namespace
}  // namespace feitest
