// The decoder's handle contract: sizes settled by create, tags, result codes
// and the release of everything it allocated.
#include <gtest/gtest.h>

#include "deflate_test_util.h"

namespace {

TEST(DeflateDecoderContract, SizesTagsAndAllocationFailures) {
    const uint32_t asked[] = {0, 40000, 1000}, settled[] = {32768, 32768, 1000};
    for (int i = 0; i < 3; ++i) {
        uint32_t uncompressed = asked[i], compressed = 0;
        EXPECT_EQ(DdiCreate(&uncompressed, CountingAlloc, CountingFree, &compressed, nullptr), DECODER_OK);
        EXPECT_EQ(uncompressed, settled[i]);
        EXPECT_EQ(compressed, settled[i] + 12);
    }
    static int allocationsLeft;
    for (int failing = 1; failing <= 2; ++failing) {
        allocationsLeft = failing;
        auto failingAlloc = [](uint32_t size) { return --allocationsLeft == 0 ? nullptr : CountingAlloc(size); };
        uint32_t uncompressed = 0, compressed = 0;
        void* handle = &allocationsLeft;
        EXPECT_EQ(DdiCreate(&uncompressed, failingAlloc, CountingFree, &compressed, &handle), DECODER_NO_MEMORY);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(liveAllocations, 0);
    }

    // The tag is checked, and cleared before the handle is freed.
    static uint32_t tagAtLastFree;
    auto recordingFree = [](void* block) {
        std::memcpy(&tagAtLastFree, block, sizeof(tagAtLastFree));
        CountingFree(block);
    };
    uint32_t uncompressed = 0, compressed = 0;
    void* handle = nullptr;
    ASSERT_EQ(DdiCreate(&uncompressed, CountingAlloc, recordingFree, &compressed, &handle), DECODER_OK);
    uint32_t otherKind[8] = {LZX_DECODER_TAG};
    uint8_t out[16];
    uint32_t size = sizeof(out);
    const uint8_t block[] = {'C', 'K', 0x03, 0x00};
    EXPECT_EQ(DdiDecode(otherKind, block, sizeof(block), out, &size), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiReset(otherKind), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiDestroy(otherKind), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiDestroy(handle), DECODER_OK);
    EXPECT_EQ(tagAtLastFree, 0u);
    EXPECT_EQ(liveAllocations, 0);

    FolderDecoder decoder;
    uint32_t produced = 0;
    EXPECT_EQ(decoder.Decode(std::vector<uint8_t>(kMaxCompressedBlock + 1, 0), &produced), DECODER_BAD_SIZE);
    EXPECT_EQ(decoder.Decode({'C', 'K', 0x03, 0x00}, &produced), DECODER_OK);  // empty final fixed block
    EXPECT_EQ(produced, 0u);
    for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{}, {'C'}, {'C', 'k', 0x03, 0x00}})
        EXPECT_EQ(decoder.Decode(bad, &produced), DECODER_DATA_ERROR) << "size " << bad.size();
}

}  // namespace
