// Truncated and corrupted cabinets, alone and as a set of two: every run
// ends with success or a clean error, nothing leaks and no handle stays open
// (the harness checks both when it is destroyed). Run under the sanitizer
// build to catch out-of-bounds access.
#include <gtest/gtest.h>

#include <cstdio>

#include "fei_harness.h"
#include "test_support.h"

namespace treepak {

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

constexpr int GIVE_UP_AFTER_RETRIES = 3;

// A client that extracts everything and gives up on a next cabinet after a
// few failed attempts, so that hostile sets cannot keep it asking.
void UsePatientClient(Harness& h) {
    h.reply = [&h](int kind, FEINotification* n) {
        static int retries = 0;
        if (kind == FEI_NOTIFY_NEXT_CABINET) {
            retries = n->errorCode ? retries + 1 : 0;
            return retries > GIVE_UP_AFTER_RETRIES ? -1 : 0;
        }
        return h.DefaultReply(kind, n);
    };
}

std::vector<uint8_t> SampleCabinet() {
    CabLayout layout = StoredCabinet({{"one", testsupport::TextBytes(700, 1)},
                                  {"two\\x", testsupport::RandomBytes(300, 2)}});
    layout.reservePresent = true;
    layout.headerReserveSize = 2;
    layout.folderReserveSize = 1;
    layout.dataReserveSize = 3;
    layout.hasNext = true;
    layout.nextCabinet = "next.cab";
    CabLayout second = StoredCabinet({{"three", testsupport::TextBytes(200, 3)}}, 0x0010);
    second.files[0].folderIndex = 1;
    layout.folders.push_back(second.folders[0]);
    layout.files.push_back(second.files[0]);
    return BuildCabinetBytes(layout);
}

int ExtractBytes(const std::vector<uint8_t>& first, const std::vector<uint8_t>* second) {
    Harness h;
    UsePatientClient(h);
    h.cabinets["x.cab"] = first;
    if (second) h.cabinets["next.cab"] = *second;
    const int result = h.Extract("x.cab", "", true);
    if (result == 0) {
        EXPECT_GE(h.error.errorCode, FEIERR_OPEN_CABINET);
        EXPECT_LE(h.error.errorCode, FEIERR_ABORT);
    }
    return result;
}

TEST(FeiHostile, EveryTruncationFailsCleanly) {
    const auto whole = SampleCabinet();
    ASSERT_EQ(ExtractBytes(whole, nullptr), 1);
    for (size_t length = 0; length < whole.size(); ++length) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + length);
        EXPECT_EQ(ExtractBytes(cut, nullptr), 0) << length;
    }
}

TEST(FeiHostile, CorruptedBytesNeverCrash) {
    const auto whole = SampleCabinet();
    const uint64_t seed = 0xFE1;
    std::printf("corruption seed %llu\n", static_cast<unsigned long long>(seed));
    testsupport::Rng rng(seed);
    for (int round = 0; round < 3000; ++round) {
        auto bytes = whole;
        for (uint32_t n = 1 + rng.Below(4); n > 0; --n) {
            bytes[rng.Below(static_cast<uint32_t>(bytes.size()))] = static_cast<uint8_t>(rng.Next());
        }
        // The same bytes also serve as the next cabinet of themselves.
        ExtractBytes(bytes, round % 2 ? &bytes : nullptr);
    }
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
    for (size_t i = 0; i < layouts.size(); ++i) EXPECT_EQ(ExtractBytes(BuildCabinetBytes(layouts[i]), nullptr), 0) << i;
}

}  // namespace
}  // namespace feitest

}  // namespace treepak
