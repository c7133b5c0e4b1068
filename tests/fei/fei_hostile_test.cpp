// Cabinets whose counts and offsets point anywhere: every run ends with a
// clean error, nothing leaks and no handle stays open (the harness checks
// both when it is destroyed). Truncations and corrupted bytes are covered
// through the tool in tests/regression and by the fei fuzz target.
#include <gtest/gtest.h>

#include "fei_harness.h"
#include "test_support.h"

namespace treepak {

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

int ExtractBytes(const std::vector<uint8_t>& cabinet) {
    Harness h;
    h.cabinets["x.cab"] = cabinet;
    const int result = h.Extract("x.cab", "", true);
    if (result == 0) {
        EXPECT_GE(h.error.errorCode, FEIERR_OPEN_CABINET);
        EXPECT_LE(h.error.errorCode, FEIERR_ABORT);
    }
    return result;
}

TEST(FeiHostile, HostileCountsAndOffsets) {
    std::vector<CabLayout> layouts;
    CabLayout manyFiles = StoredCabinet({{"a", {1}}});
    manyFiles.fileCountOverride = 0xFFFF;
    layouts.push_back(manyFiles);
    CabLayout manyBlocks = StoredCabinet({{"a", std::vector<uint8_t>(100000, 3)}});
    manyBlocks.folders[0].blockCountOverride = 0xFFFF;
    manyBlocks.files[0].size = 10000000;  // runs past the last block
    layouts.push_back(manyBlocks);
    CabLayout farFile = StoredCabinet({{"a", {1, 2}}});
    farFile.files[0].folderOffset = 0xFFFFFFF0u;
    farFile.files[0].size = 0xFFFFFFFFu;
    layouts.push_back(farFile);
    CabLayout noFolder = StoredCabinet({{"a", {1, 2}}});
    noFolder.files[0].folderIndex = 0xFFFE;
    noFolder.folders.clear();
    layouts.push_back(noFolder);
    CabLayout badFolder = StoredCabinet({{"a", {1, 2}}});
    badFolder.files[0].folderIndex = 0x7FFF;
    layouts.push_back(badFolder);
    CabLayout oversized = StoredCabinet({{"a", {1, 2}}});
    oversized.folders[0].blocks[0].compressedSizeOverride = 0xFFFF;
    layouts.push_back(oversized);
    for (size_t i = 0; i < layouts.size(); ++i) EXPECT_EQ(ExtractBytes(BuildCabinetBytes(layouts[i])), 0) << i;
}

}  // namespace
}  // namespace feitest

}  // namespace treepak
