// The decoder's handle contract (sizes settled by create, tags, result codes,
// the release of everything it allocated), and damaged and hostile blocks:
// they fail with the data error (or, where the damage still forms valid
// data, decode), never touching memory outside the block and the buffer;
// the sanitizer build checks the latter.
#include <gtest/gtest.h>

#include <string>

#include "deflate_test_util.h"
#include "test_support.h"

namespace treepak {

namespace {

TEST(DeflateDecoderContract, SizesTagsAndAllocationFailures) {
    const uint32_t asked[] = {0, 40000, 1000}, settled[] = {32768, 32768, 1000};
    for (int i = 0; i < 3; ++i) {
        uint32_t uncompressed = asked[i], compressed = 0;
        EXPECT_EQ(DdiCreate(&uncompressed, testsupport::CountingAlloc, testsupport::CountingFree, &compressed, nullptr),
                  DECODER_OK);
        EXPECT_EQ(uncompressed, settled[i]);
        EXPECT_EQ(compressed, settled[i] + 12);
    }
    testsupport::FailEachAllocation(2, [](int) {
        uint32_t uncompressed = 0, compressed = 0;
        void* handle = &uncompressed;
        EXPECT_EQ(DdiCreate(&uncompressed, testsupport::CountingAlloc, testsupport::CountingFree, &compressed, &handle),
                  DECODER_NO_MEMORY);
        EXPECT_EQ(handle, nullptr);
    });

    // The tag is checked, and cleared before the handle is freed.
    static uint32_t tagAtLastFree;
    auto recordingFree = [](void* block) {
        std::memcpy(&tagAtLastFree, block, sizeof(tagAtLastFree));
        testsupport::CountingFree(block);
    };
    uint32_t uncompressed = 0, compressed = 0;
    void* handle = nullptr;
    ASSERT_EQ(DdiCreate(&uncompressed, testsupport::CountingAlloc, recordingFree, &compressed, &handle), DECODER_OK);
    uint32_t otherKind[8] = {LZX_DECODER_TAG};
    uint8_t out[16];
    uint32_t size = sizeof(out);
    const uint8_t block[] = {'C', 'K', 0x03, 0x00};
    EXPECT_EQ(DdiDecode(otherKind, block, sizeof(block), out, &size), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiReset(otherKind), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiDestroy(otherKind), DECODER_BAD_HANDLE);
    EXPECT_EQ(DdiDestroy(handle), DECODER_OK);
    EXPECT_EQ(tagAtLastFree, 0u);
    EXPECT_EQ(testsupport::allocations.live, 0);

    FolderDecoder decoder;
    uint32_t produced = 0;
    EXPECT_EQ(decoder.Decode(std::vector<uint8_t>(kMaxCompressedBlock + 1, 0), &produced), DECODER_BAD_SIZE);
    EXPECT_EQ(decoder.Decode({'C', 'K', 0x03, 0x00}, &produced), DECODER_OK);  // empty final fixed block
    EXPECT_EQ(produced, 0u);
    for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{}, {'C'}, {'C', 'k', 0x03, 0x00}})
        EXPECT_EQ(decoder.Decode(bad, &produced), DECODER_DATA_ERROR) << "size " << bad.size();
}


int DecodeOnce(const std::vector<uint8_t>& block, uint32_t* produced = nullptr) {
    FolderDecoder decoder;
    uint32_t ignored = 0;
    return decoder.Decode(block, produced ? produced : &ignored);
}

std::vector<uint8_t> StoredBlock(uint32_t payload, uint32_t length, uint32_t complement) {
    BitWriter out;
    out.StoredHeader(true, length, complement);
    std::vector<uint8_t> block = out.Finish();
    block.resize(block.size() + payload, '7');
    return block;
}

// Literal/length lengths: 'a' 2 bits, 'b' 2 (or 3), end-of-block 1, and a
// 3-bit length symbol 257 when asked for.
std::vector<uint8_t> SmallLitLen(bool withLength = false) {
    std::vector<uint8_t> lengths(257, 0);
    lengths['a'] = 2;
    lengths['b'] = withLength ? 3 : 2;
    lengths[DEFLATE_END_OF_BLOCK] = 1;
    if (withLength) lengths.push_back(3);
    return lengths;
}

// A dynamic block with 'a' (and a match of length 3, distance 1), ended.
std::vector<uint8_t> DynamicBlock(const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& dist,
                                  bool withMatch = false) {
    BitWriter out;
    PutDynamicHeader(out, litLen, dist);
    const std::vector<uint32_t> codes = CanonicalCodes(litLen);
    out.PutCode(codes['a'], litLen['a']);
    if (withMatch) {
        out.PutCode(codes[257], litLen[257]);
        out.PutCode(CanonicalCodes(dist)[0], dist[0]);
    }
    out.PutCode(codes[DEFLATE_END_OF_BLOCK], litLen[DEFLATE_END_OF_BLOCK]);
    return out.Finish();
}

std::vector<uint8_t> FixedBlock(std::initializer_list<uint32_t> symbols, int distanceCode = -1) {
    BitWriter out;
    out.Header(true, DEFLATE_BLOCK_FIXED);
    for (uint32_t symbol : symbols) out.FixedSymbol(symbol);
    if (distanceCode >= 0) out.PutCode(static_cast<uint32_t>(distanceCode), 5);
    out.Put(0, 24);
    return out.Finish();
}

// Each block decodes to the given size, or fails (-1).
TEST(DeflateHostileInput, MalformedHeadersAndTables) {
    std::vector<uint8_t> cutHeader = StoredBlock(0, 10, 10 ^ 0xFFFF), tooMany = SmallLitLen();
    cutHeader.pop_back();
    tooMany.resize(287, 0);
    std::vector<uint8_t> overSubscribed = SmallLitLen(), incomplete = SmallLitLen();
    overSubscribed['c'] = 2;
    incomplete['b'] = 3;
    BitWriter reserved;
    reserved.Header(true, 3);
    const struct { const char* what; std::vector<uint8_t> block; int produced; } cases[] = {
        {"stored", StoredBlock(10, 10, 10 ^ 0xFFFF), 10},
        {"NLEN not ~LEN", StoredBlock(10, 10, 10), -1},
        {"stored past the input", StoredBlock(10, 11, 11 ^ 0xFFFF), -1},
        {"cut stored header", cutHeader, -1},
        {"reserved block type", reserved.Finish(), -1},
        // Literal/length 286 and 287 and distances 30 and 31 exist only in
        // the fixed code's tables.
        {"literal/length 286", FixedBlock({286}), -1},
        {"literal/length 287", FixedBlock({287}), -1},
        {"distance 30", FixedBlock({'a', 257}, 30), -1},
        {"distance 31", FixedBlock({'a', 257}, 31), -1},
        {"dynamic with a match", DynamicBlock(SmallLitLen(true), {1}, true), 4},
        {"287 literal/length codes", DynamicBlock(tooMany, {1}), -1},
        {"31 distance codes", DynamicBlock(SmallLitLen(), std::vector<uint8_t>(31, 5)), -1},
        {"over-subscribed", DynamicBlock(overSubscribed, {1}), -1},
        {"incomplete", DynamicBlock(incomplete, {1}), -1},
        {"incomplete distances", DynamicBlock(SmallLitLen(), {2, 2, 2}), -1},
        // No distance codes at all: literals decode, a match fails.
        {"no distances, literals", DynamicBlock(SmallLitLen(), {0}), 1},
        {"no distances, a match", DynamicBlock(SmallLitLen(true), {0}, true), -1},
    };
    for (const auto& c : cases) {
        uint32_t produced = 0;
        EXPECT_EQ(DecodeOnce(c.block, &produced), c.produced < 0 ? DECODER_DATA_ERROR : DECODER_OK) << c.what;
        if (c.produced >= 0) {
            EXPECT_EQ(produced, static_cast<uint32_t>(c.produced)) << c.what;
        }
    }
}

TEST(DeflateHostileInput, TruncatedBlocksReadNothingPastTheCut) {
    const std::vector<uint8_t> text = testsupport::TextBytes(kRingSize, 0xDEF1A7E);
    const std::vector<std::vector<uint8_t>> originals = {ZlibBlock(text.data(), kRingSize, 9, Z_DEFAULT_STRATEGY),
                                                         ZlibBlock(text.data(), kRingSize, 1, Z_FIXED),
                                                         ZlibBlock(text.data(), kRingSize, 6, Z_HUFFMAN_ONLY)};
    FolderDecoder decoder;
    uint32_t produced = 0;
    for (const std::vector<uint8_t>& block : originals) {
        for (size_t cut = 0; cut < block.size(); cut += 1 + cut / 64) {
            // Past the cut the input reads as zero bits, which may well
            // decode (to the wrong bytes; the reader's checksums and sizes
            // catch that): what matters is that no byte past it is read.
            const int result = decoder.Decode({block.begin(), block.begin() + cut}, &produced);
            ASSERT_TRUE(result == DECODER_DATA_ERROR || result == DECODER_OK) << "cut " << cut;
        }
    }
}

}  // namespace

}  // namespace treepak
