// Damaged and hostile blocks: each fails with the data error (or, where the
// damage still forms valid data, decodes), never touching memory outside the
// block and the buffer; the sanitizer build checks the latter.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "cabinet/deflate_format.h"
#include "decompress/decoder.h"
#include "deflate_test_util.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> StoredBlock(const std::vector<uint8_t>& payload, uint32_t declared, uint32_t complement) {
    BitWriter out;
    out.Put(1, 1);
    out.Put(DEFLATE_BLOCK_STORED, 2);
    out.AlignToByte();
    out.Put(declared, 16);
    out.Put(complement, 16);
    std::vector<uint8_t> block = out.Finish();
    block.insert(block.end(), payload.begin(), payload.end());
    return block;
}

int DecodeOnce(const std::vector<uint8_t>& block, uint32_t* produced) {
    FolderDecoder decoder;
    return decoder.Decode(block, produced);
}

TEST(DeflateHostileInput, StoredBlocks) {
    const std::vector<uint8_t> ten = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    FolderDecoder decoder;
    uint32_t produced = 0;
    ASSERT_EQ(decoder.Decode(StoredBlock(ten, 10, 10 ^ 0xFFFF), &produced), DECODER_OK);
    EXPECT_EQ(produced, 10u);
    EXPECT_TRUE(std::equal(ten.begin(), ten.end(), decoder.ring.begin()));

    EXPECT_EQ(DecodeOnce(StoredBlock(ten, 10, 10), &produced), DECODER_DATA_ERROR);      // NLEN not ~LEN
    EXPECT_EQ(DecodeOnce(StoredBlock(ten, 11, 11 ^ 0xFFFF), &produced), DECODER_DATA_ERROR);  // past input
    std::vector<uint8_t> cutHeader = StoredBlock({}, 10, 10 ^ 0xFFFF);
    cutHeader.pop_back();
    EXPECT_EQ(DecodeOnce(cutHeader, &produced), DECODER_DATA_ERROR);
}

TEST(DeflateHostileInput, BadBlockTypeAndReservedFixedSymbols) {
    uint32_t produced = 0;
    BitWriter reserved;
    reserved.Put(1, 1);
    reserved.Put(3, 2);
    EXPECT_EQ(DecodeOnce(reserved.Finish(), &produced), DECODER_DATA_ERROR);

    for (uint32_t symbol : {286u, 287u}) {
        BitWriter out;
        out.Put(1, 1);
        out.Put(DEFLATE_BLOCK_FIXED, 2);
        PutFixedLiteral(out, symbol);
        PutFixedDistanceCode(out, 0);
        PutFixedLiteral(out, DEFLATE_END_OF_BLOCK);
        EXPECT_EQ(DecodeOnce(out.Finish(), &produced), DECODER_DATA_ERROR) << "symbol " << symbol;
    }
    for (uint32_t code : {30u, 31u}) {
        BitWriter out;
        out.Put(1, 1);
        out.Put(DEFLATE_BLOCK_FIXED, 2);
        PutFixedLiteral(out, 'a');
        PutFixedLiteral(out, 257);
        PutFixedDistanceCode(out, code);
        out.Put(0, 13);
        PutFixedLiteral(out, DEFLATE_END_OF_BLOCK);
        EXPECT_EQ(DecodeOnce(out.Finish(), &produced), DECODER_DATA_ERROR) << "distance code " << code;
    }
}

// Literal/length lengths giving 'a' and 'b' and end-of-block codes of 2, 2
// and 1 bits, one length symbol (257) where asked, and the given distances.
std::vector<uint8_t> SmallLitLen(uint8_t lengthOf257 = 0) {
    std::vector<uint8_t> lengths(257, 0);
    lengths['a'] = 2;
    lengths['b'] = lengthOf257 ? 3 : 2;
    lengths[DEFLATE_END_OF_BLOCK] = 1;
    if (lengthOf257) lengths.push_back(lengthOf257);
    return lengths;
}

std::vector<uint8_t> DynamicBlock(const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& dist,
                                  const std::vector<std::pair<uint32_t, uint32_t>>& symbols) {
    BitWriter out;
    PutDynamicHeader(out, true, litLen, dist);
    const std::vector<uint32_t> litCodes = CanonicalCodes(litLen);
    const std::vector<uint32_t> distCodes = CanonicalCodes(dist);
    for (auto [alphabet, symbol] : symbols) {
        if (alphabet == 0) out.PutCode(litCodes[symbol], litLen[symbol]);
        else out.PutCode(distCodes[symbol], dist[symbol]);
    }
    return out.Finish();
}

TEST(DeflateHostileInput, DynamicTableLimits) {
    uint32_t produced = 0;
    const std::vector<std::pair<uint32_t, uint32_t>> ab = {{0, 'a'}, {0, 'b'}, {0, DEFLATE_END_OF_BLOCK}};
    // The well-formed reference: a complete code, one distance code.
    ASSERT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), {1}, ab), &produced), DECODER_OK);
    EXPECT_EQ(produced, 2u);

    std::vector<uint8_t> tooMany = SmallLitLen();
    tooMany.resize(287, 0);
    EXPECT_EQ(DecodeOnce(DynamicBlock(tooMany, {1}, ab), &produced), DECODER_DATA_ERROR);
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), std::vector<uint8_t>(31, 5), ab), &produced),
              DECODER_DATA_ERROR);

    std::vector<uint8_t> overSubscribed = SmallLitLen();
    overSubscribed['c'] = 2;
    EXPECT_EQ(DecodeOnce(DynamicBlock(overSubscribed, {1}, ab), &produced), DECODER_DATA_ERROR);
    std::vector<uint8_t> incomplete = SmallLitLen();
    incomplete['b'] = 3;
    EXPECT_EQ(DecodeOnce(DynamicBlock(incomplete, {1}, ab), &produced), DECODER_DATA_ERROR);
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), {2, 2, 2}, ab), &produced), DECODER_DATA_ERROR);
    std::vector<uint8_t> noCodes(257, 0);
    EXPECT_EQ(DecodeOnce(DynamicBlock(noCodes, {1}, {}), &produced), DECODER_DATA_ERROR);

    // A lone 1-bit code is accepted (here the end-of-block code alone).
    std::vector<uint8_t> loneCode(257, 0);
    loneCode[DEFLATE_END_OF_BLOCK] = 1;
    EXPECT_EQ(DecodeOnce(DynamicBlock(loneCode, {1}, {{0, DEFLATE_END_OF_BLOCK}}), &produced), DECODER_OK);

    // No distance codes at all: literals decode, a match fails.
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(), {0}, ab), &produced), DECODER_OK);
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(3), {0}, {{0, 'a'}, {0, 257}, {0, DEFLATE_END_OF_BLOCK}}),
                         &produced),
              DECODER_DATA_ERROR);
    // With a distance code the same match decodes.
    EXPECT_EQ(DecodeOnce(DynamicBlock(SmallLitLen(3), {1}, {{0, 'a'}, {0, 257}, {1, 0}, {0, DEFLATE_END_OF_BLOCK}}),
                         &produced),
              DECODER_OK);
    EXPECT_EQ(produced, 4u);
}

// Code-length sequences with repeat symbols: lengths of the code-length code
// are 4 bits for symbols 0..12 and 5 bits for 13..18 (a complete code).
std::vector<uint8_t> RepeatHeaderBlock(const std::vector<std::pair<uint32_t, uint32_t>>& sequence) {
    std::vector<uint8_t> codeLengthLengths(19, 0);
    for (uint32_t symbol = 0; symbol < 19; ++symbol) codeLengthLengths[symbol] = symbol < 13 ? 4 : 5;
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengthLengths);
    BitWriter out;
    out.Put(1, 1);
    out.Put(DEFLATE_BLOCK_DYNAMIC, 2);
    out.Put(0, 5);   // 257 literal/length codes
    out.Put(0, 5);   // 1 distance code
    out.Put(15, 4);  // 19 code-length codes
    for (uint32_t i = 0; i < 19; ++i) out.Put(codeLengthLengths[kDeflateCodeLengthOrder[i]], 3);
    const uint32_t extraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (auto [symbol, extra] : sequence) {
        out.PutCode(codes[symbol], codeLengthLengths[symbol]);
        out.Put(extra, extraBits[symbol]);
    }
    out.Put(0, 16);  // whatever follows
    return out.Finish();
}

TEST(DeflateHostileInput, CodeLengthRepeats) {
    uint32_t produced = 0;
    // 138 + 118 zeros for symbols 0..255, then a 1-bit end-of-block code and
    // one 1-bit distance code: 258 lengths in all.
    EXPECT_EQ(DecodeOnce(RepeatHeaderBlock({{18, 127}, {18, 107}, {1, 0}, {1, 0}}), &produced), DECODER_OK);
    // 138 + 117 + 10 zeros run past the 258 lengths declared.
    EXPECT_EQ(DecodeOnce(RepeatHeaderBlock({{18, 127}, {18, 106}, {17, 7}, {1, 0}, {1, 0}}), &produced),
              DECODER_DATA_ERROR);
    // A repeat of the previous length with no previous length.
    EXPECT_EQ(DecodeOnce(RepeatHeaderBlock({{16, 0}, {18, 127}, {18, 104}, {1, 0}, {1, 0}}), &produced),
              DECODER_DATA_ERROR);
    // Well-formed repeats giving eight 1-bit codes: over-subscribed.
    EXPECT_EQ(DecodeOnce(RepeatHeaderBlock({{1, 0}, {16, 3}, {18, 127}, {18, 100}, {1, 0}, {1, 0}}), &produced),
              DECODER_DATA_ERROR);
}

std::vector<uint8_t> ZlibBlock(const std::vector<uint8_t>& data, int level, int strategy) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy);
    std::vector<uint8_t> out(2 + deflateBound(&stream, data.size()));
    out[0] = 'C';
    out[1] = 'K';
    stream.next_in = const_cast<uint8_t*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    deflate(&stream, Z_FINISH);
    out.erase(out.begin() + 2 + stream.total_out, out.end());
    deflateEnd(&stream);
    return out;
}

// Every cut of a block fails or comes out short; none reads past the cut.
TEST(DeflateHostileInput, TruncatedBlocks) {
    const std::vector<uint8_t> data = testsupport::TextBytes(kRingSize, 11);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
        const std::vector<uint8_t> block = ZlibBlock(data, 6, strategy);
        for (size_t cut = 0; cut < block.size(); cut += 1 + cut / 64) {
            const std::vector<uint8_t> truncated(block.begin(), block.begin() + cut);
            FolderDecoder decoder;
            uint32_t produced = 0;
            const int result = decoder.Decode(truncated, &produced);
            ASSERT_TRUE(result == DECODER_DATA_ERROR || (result == DECODER_OK && produced <= data.size()))
                << "strategy " << strategy << " cut " << cut << " result " << result;
        }
    }
}

// Seeded mutations of valid blocks and plain noise after "CK".
TEST(DeflateHostileInput, MutatedAndRandomBlocks) {
    const uint64_t seed = 0xDEF1A7E;
    SCOPED_TRACE("seed " + std::to_string(seed));
    testsupport::Rng rng(seed);
    const std::vector<uint8_t> text = testsupport::TextBytes(kRingSize, seed);
    const std::vector<std::vector<uint8_t>> originals = {ZlibBlock(text, 9, Z_DEFAULT_STRATEGY),
                                                         ZlibBlock(text, 1, Z_FIXED),
                                                         ZlibBlock(text, 6, Z_HUFFMAN_ONLY)};
    FolderDecoder decoder;
    for (int round = 0; round < 1500; ++round) {
        std::vector<uint8_t> block;
        if (round % 3 == 2) {
            block = testsupport::RandomBytes(2 + rng.Below(600), seed + round);
            block[0] = 'C';
            block[1] = 'K';
        } else {
            block = originals[rng.Below(3)];
            const uint32_t flips = 1 + rng.Below(8);
            for (uint32_t i = 0; i < flips; ++i) {
                // Damage the headers more often than the body.
                const uint32_t span = rng.Below(2) ? 64 : static_cast<uint32_t>(block.size() - 2);
                block[2 + rng.Below(span)] ^= static_cast<uint8_t>(1u << rng.Below(8));
            }
        }
        uint32_t produced = 0;
        const int result = decoder.Decode(block, &produced);
        ASSERT_TRUE(result == DECODER_OK || result == DECODER_DATA_ERROR) << "round " << round;
        ASSERT_LE(produced, kRingSize) << "round " << round;
    }
}

// With a buffer smaller than 32768 bytes the ring is that buffer, and a
// distance beyond it is refused rather than read outside the buffer.
TEST(DeflateHostileInput, DistanceBeyondASmallRing) {
    uint32_t uncompressed = 1000, compressed = 0;
    void* handle = nullptr;
    ASSERT_EQ(DdiCreate(&uncompressed, CountingAlloc, CountingFree, &compressed, &handle), DECODER_OK);
    for (uint32_t distance : {1000u, 1001u}) {
        BitWriter out;
        out.Put(1, 1);
        out.Put(DEFLATE_BLOCK_FIXED, 2);
        PutFixedLiteral(out, 'a');
        PutFixedMatch(out, 10, distance);
        PutFixedLiteral(out, DEFLATE_END_OF_BLOCK);
        const std::vector<uint8_t> block = out.Finish();
        std::vector<uint8_t> buffer(uncompressed);
        uint32_t produced = uncompressed;
        EXPECT_EQ(DdiDecode(handle, block.data(), static_cast<uint32_t>(block.size()), buffer.data(), &produced),
                  distance <= uncompressed ? DECODER_OK : DECODER_DATA_ERROR)
            << "distance " << distance;
    }
    EXPECT_EQ(DdiDestroy(handle), DECODER_OK);
}

}  // namespace
