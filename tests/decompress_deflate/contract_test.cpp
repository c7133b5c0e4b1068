// The decoder's handle contract: sizes settled by create, tags, result codes
// and the release of everything it allocated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "decompress/decoder.h"
#include "deflate_test_util.h"

namespace {

TEST(DeflateDecoderContract, CreateSettlesBufferSizes) {
    struct Case {
        uint32_t asked, uncompressed, compressed;
    };
    for (const Case& c : {Case{0, 32768, 32780}, Case{40000, 32768, 32780}, Case{32768, 32768, 32780},
                          Case{1000, 1000, 1012}}) {
        uint32_t uncompressed = c.asked;
        uint32_t compressed = 0;
        EXPECT_EQ(DdiCreate(&uncompressed, CountingAlloc, CountingFree, &compressed, nullptr), DECODER_OK);
        EXPECT_EQ(uncompressed, c.uncompressed) << "asked " << c.asked;
        EXPECT_EQ(compressed, c.compressed) << "asked " << c.asked;
    }
    EXPECT_EQ(LiveAllocations(), 0);
}

// Fails the n-th allocation (1-based), counting from the last reset.
int allocationsBeforeFailure = 0;
void* FailingAlloc(uint32_t size) {
    if (--allocationsBeforeFailure == 0) return nullptr;
    return CountingAlloc(size);
}

TEST(DeflateDecoderContract, AllocationFailureFreesWhatWasTaken) {
    for (int failing = 1; failing <= 2; ++failing) {
        allocationsBeforeFailure = failing;
        uint32_t uncompressed = 0, compressed = 0;
        void* handle = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(DdiCreate(&uncompressed, FailingAlloc, CountingFree, &compressed, &handle), DECODER_NO_MEMORY);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(LiveAllocations(), 0) << "failing allocation " << failing;
    }
}

uint32_t tagSeenByLastFree = 0xFFFFFFFF;
void TagRecordingFree(void* block) {
    std::memcpy(&tagSeenByLastFree, block, sizeof(tagSeenByLastFree));
    CountingFree(block);
}

TEST(DeflateDecoderContract, TagIsCheckedAndClearedBeforeTheHandleIsFreed) {
    uint32_t uncompressed = 0, compressed = 0;
    void* handle = nullptr;
    ASSERT_EQ(DdiCreate(&uncompressed, CountingAlloc, TagRecordingFree, &compressed, &handle), DECODER_OK);
    uint32_t tag;
    std::memcpy(&tag, handle, sizeof(tag));
    EXPECT_EQ(tag, DEFLATE_DECODER_TAG);
    EXPECT_EQ(DdiReset(handle), DECODER_OK);

    uint32_t otherKind[8] = {LZX_DECODER_TAG};
    uint8_t out[16];
    uint32_t size = sizeof(out);
    const uint8_t block[] = {'C', 'K', 0x03, 0x00};
    EXPECT_EQ(DdiDecode(otherKind, block, sizeof(block), out, &size), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiReset(otherKind), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiDestroy(otherKind), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiDecode(nullptr, block, sizeof(block), out, &size), DECODER_BAD_HANDLE);

    EXPECT_EQ(DdiDestroy(handle), DECODER_OK);
    EXPECT_EQ(tagSeenByLastFree, 0u);
    EXPECT_EQ(LiveAllocations(), 0);
}

TEST(DeflateDecoderContract, SizeAndPrefixChecks) {
    FolderDecoder decoder;
    uint32_t produced = 0;
    std::vector<uint8_t> tooLarge(kMaxCompressedBlock + 1, 0);
    tooLarge[0] = 'C';
    tooLarge[1] = 'K';
    EXPECT_EQ(decoder.Decode(tooLarge, &produced), DECODER_BAD_SIZE);

    // An empty final fixed block is the smallest valid block.
    EXPECT_EQ(decoder.Decode({'C', 'K', 0x03, 0x00}, &produced), DECODER_OK);
    EXPECT_EQ(produced, 0u);
    for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{}, std::vector<uint8_t>{'C'},
                                            std::vector<uint8_t>{'C', 'k', 0x03, 0x00},
                                            std::vector<uint8_t>{'K', 'C', 0x03, 0x00}})
        EXPECT_EQ(decoder.Decode(bad, &produced), DECODER_DATA_ERROR) << "size " << bad.size();
}

}  // namespace
