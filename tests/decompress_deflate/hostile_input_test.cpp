// Damaged and hostile blocks fail with the data error (or, where the damage
// still forms valid data, decode), never touching memory outside the block
// and the buffer; the sanitizer build checks the latter.
#include <gtest/gtest.h>

#include <string>

#include "deflate_test_util.h"
#include "test_support.h"

namespace {

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

TEST(DeflateHostileInput, StoredBlocksAndBlockTypes) {
    uint32_t produced = 0;
    EXPECT_EQ(DecodeOnce(StoredBlock(10, 10, 10 ^ 0xFFFF), &produced), DECODER_OK);
    EXPECT_EQ(produced, 10u);
    EXPECT_EQ(DecodeOnce(StoredBlock(10, 10, 10)), DECODER_DATA_ERROR);              // NLEN not ~LEN
    EXPECT_EQ(DecodeOnce(StoredBlock(10, 11, 11 ^ 0xFFFF)), DECODER_DATA_ERROR);     // past the input
    std::vector<uint8_t> cutHeader = StoredBlock(0, 10, 10 ^ 0xFFFF);
    cutHeader.pop_back();
    EXPECT_EQ(DecodeOnce(cutHeader), DECODER_DATA_ERROR);

    BitWriter reserved;
    reserved.Header(true, 3);
    EXPECT_EQ(DecodeOnce(reserved.Finish()), DECODER_DATA_ERROR);
    // Literal/length 286 and 287 and distance 30 and 31 exist only in the
    // fixed code's tables.
    for (uint32_t symbol : {286u, 287u}) {
        BitWriter out;
        out.Header(true, DEFLATE_BLOCK_FIXED);
        out.FixedSymbol(symbol);
        out.Put(0, 24);
        EXPECT_EQ(DecodeOnce(out.Finish()), DECODER_DATA_ERROR) << symbol;
    }
    for (uint32_t code : {30u, 31u}) {
        BitWriter out;
        out.Header(true, DEFLATE_BLOCK_FIXED);
        out.FixedSymbol('a');
        out.FixedSymbol(257);
        out.PutCode(code, 5);
        out.Put(0, 24);
        EXPECT_EQ(DecodeOnce(out.Finish()), DECODER_DATA_ERROR) << code;
    }
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

TEST(DeflateHostileInput, DynamicTableLimits) {
    uint32_t produced = 0;
    ASSERT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(true), {1}, true), &produced), DECODER_OK);
    EXPECT_EQ(produced, 4u);

    std::vector<uint8_t> tooMany = SmallLitLen();
    tooMany.resize(287, 0);
    EXPECT_EQ(DecodeOnce(DynamicBlock(tooMany, {1})), DECODER_DATA_ERROR);
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), std::vector<uint8_t>(31, 5))), DECODER_DATA_ERROR);
    std::vector<uint8_t> overSubscribed = SmallLitLen(), incomplete = SmallLitLen();
    overSubscribed['c'] = 2;
    incomplete['b'] = 3;
    EXPECT_EQ(DecodeOnce(DynamicBlock(overSubscribed, {1})), DECODER_DATA_ERROR);
    EXPECT_EQ(DecodeOnce(DynamicBlock(incomplete, {1})), DECODER_DATA_ERROR);
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), {2, 2, 2})), DECODER_DATA_ERROR);  // incomplete distances
    // No distance codes at all: literals decode, a match fails.
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), {0})), DECODER_OK);
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(true), {0}, true)), DECODER_DATA_ERROR);
}

// Cuts, seeded bit flips and noise fail or decode within the room, and
// never reach outside the block (exactly sized under the sanitizer).
TEST(DeflateHostileInput, TruncatedMutatedAndRandomBlocks) {
    const uint64_t seed = 0xDEF1A7E;
    SCOPED_TRACE("seed " + std::to_string(seed));
    testsupport::Rng rng(seed);
    const std::vector<uint8_t> text = testsupport::TextBytes(kRingSize, seed);
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
    for (int round = 0; round < 1500; ++round) {
        std::vector<uint8_t> block = originals[rng.Below(3)];
        if (round % 3 == 2) {
            block = testsupport::RandomBytes(2 + rng.Below(600), seed + round);
            block[0] = 'C';
            block[1] = 'K';
        } else {
            // Damage the headers more often than the body.
            for (uint32_t flips = 1 + rng.Below(8); flips > 0; --flips)
                block[2 + rng.Below(rng.Below(2) ? 64 : static_cast<uint32_t>(block.size() - 2))] ^=
                    static_cast<uint8_t>(1u << rng.Below(8));
        }
        const int result = decoder.Decode(block, &produced);
        ASSERT_TRUE(result == DECODER_OK || result == DECODER_DATA_ERROR) << "round " << round;
        ASSERT_LE(produced, kRingSize) << "round " << round;
    }
}

}  // namespace
