#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "deflate_test_util.h"
#include "test_support.h"

namespace treepak {

namespace {

// Random literals and matches of every distance class, each block checked
// against a byte-by-byte model of the ring: the previous block with this
// block's bytes written over it, and nothing written past them. The decoder
// keeps its own copy of the ring between blocks; the sequence covers the
// ways that copy is moved, dropped and taken again from the buffer: many
// whole blocks in a row, a short block, a block that fails part way, and a
// reset after the caller changed the ring.
enum class Step { Whole, Short, Failing, ChangedAndReset };

TEST(DeflateRingHistory, RandomMatchesAgreeWithRingModel) {
    const uint64_t seed = 20261205;
    SCOPED_TRACE("seed " + std::to_string(seed));
    testsupport::Rng rng(seed);
    FolderDecoder decoder;
    std::vector<uint8_t> model = testsupport::RandomBytes(kRingSize, seed);
    BitWriter first;
    first.StoredHeader(true, kRingSize, kRingSize ^ 0xFFFF);
    std::vector<uint8_t> firstBlock = first.Finish();
    firstBlock.insert(firstBlock.end(), model.begin(), model.end());
    uint32_t produced = 0;
    ASSERT_EQ(decoder.Decode(firstBlock, &produced), DECODER_OK);

    const Step steps[] = {Step::Whole, Step::Whole, Step::Whole, Step::Whole, Step::Whole, Step::Short,
                          Step::Whole, Step::Failing, Step::Whole, Step::ChangedAndReset, Step::Whole};
    for (size_t stepIndex = 0; stepIndex < std::size(steps); ++stepIndex) {
        SCOPED_TRACE("step " + std::to_string(stepIndex));
        const Step step = steps[stepIndex];
        if (step == Step::ChangedAndReset) {
            model = testsupport::RandomBytes(kRingSize, seed + stepIndex);
            decoder.ring = model;
            ASSERT_EQ(DdiReset(decoder.handle), DECODER_OK);
            continue;
        }
        const uint32_t blockSize = step == Step::Whole ? kRingSize : step == Step::Short ? 5000u : 3000u;
        BitWriter out;
        out.Header(true, DEFLATE_BLOCK_FIXED);
        uint32_t position = 0;
        auto match = [&](uint32_t length, uint32_t distance) {
            out.FixedMatch(length, distance);
            for (uint32_t i = 0; i < length; ++i, ++position)
                model[position] = model[(position + kRingSize - distance) % kRingSize];
        };
        match(4, kRingSize);  // the farthest distance: the previous block's first bytes
        // A short match ends every block: word-at-a-time copies must leave
        // no trace past it.
        const uint32_t bodyEnd = blockSize - DEFLATE_MIN_MATCH;
        while (position < bodyEnd) {
            const uint32_t left = bodyEnd - position;
            if (left < DEFLATE_MIN_MATCH || rng.Below(4) == 0) {
                model[position] = static_cast<uint8_t>(rng.Below(256));
                out.FixedSymbol(model[position++]);
                continue;
            }
            const uint32_t classes[] = {1 + rng.Below(8), 1 + rng.Below(300), position + 1 + rng.Below(kRingSize - position),
                                        1 + rng.Below(kRingSize)};  // overlapping, near, wrapping, anywhere
            const uint32_t distance = classes[rng.Below(4)];
            match(DEFLATE_MIN_MATCH + rng.Below(std::min(left, DEFLATE_MAX_MATCH) - DEFLATE_MIN_MATCH + 1), distance);
        }
        match(DEFLATE_MIN_MATCH, 9);
        if (step == Step::Failing) {
            out.FixedSymbol(257);
            out.PutCode(30, 5);  // distance code 30 exists only in the fixed code's table
        }
        out.FixedSymbol(DEFLATE_END_OF_BLOCK);
        // Bytes after the final block are ignored; they let the decoder take
        // its word-at-a-time path up to the end of the block.
        std::vector<uint8_t> data = out.Finish();
        data.resize(data.size() + 2 * sizeof(uint64_t));
        ASSERT_EQ(decoder.Decode(data, &produced), step == Step::Failing ? DECODER_DATA_ERROR : DECODER_OK);
        ASSERT_EQ(produced, blockSize);
        // The whole ring: past a short block it still holds the previous one.
        ASSERT_TRUE(std::equal(model.begin(), model.end(), decoder.ring.begin()));
    }
}

// More output than room: the block stops where the room ends, inside a
// match or a stored block, and the rest of its input is ignored.
TEST(DeflateRingHistory, OutputRoomEndsTheBlock) {
    BitWriter matches;
    matches.Header(false, DEFLATE_BLOCK_FIXED);
    matches.FixedSymbol('a');
    for (int i = 0; i < 200; ++i) matches.FixedMatch(DEFLATE_MAX_MATCH, 1);  // 51601 bytes
    matches.Put(0x7F, 8);                                                    // never read
    BitWriter stored;
    stored.StoredHeader(true, 1000, 1000 ^ 0xFFFF);
    std::vector<uint8_t> storedBlock = stored.Finish();
    storedBlock.resize(storedBlock.size() + 1000, 'b');

    for (uint32_t room : {kRingSize, 99u, 1u, 2 * kRingSize}) {
        FolderDecoder decoder;
        const uint32_t expected = std::min(room, kRingSize);
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(matches.Finish(), &produced, room), DECODER_OK);
        EXPECT_EQ(produced, expected);
        EXPECT_EQ(std::count(decoder.ring.begin(), decoder.ring.end(), 'a'), expected);
        ASSERT_EQ(decoder.Decode(storedBlock, &produced, room), DECODER_OK);
        EXPECT_EQ(produced, std::min(expected, 1000u));
        // Matches, then seven literals that fill the room exactly, then an
        // invalid code: the block ends before the code is read, even where
        // literals are decoded several at a time.
        constexpr uint32_t kLastLiterals = 7;
        BitWriter literals;
        literals.Header(true, DEFLATE_BLOCK_FIXED);
        literals.FixedSymbol('c');
        uint32_t written = 1;
        for (; expected - written > DEFLATE_MAX_MATCH + kLastLiterals; written += DEFLATE_MAX_MATCH)
            literals.FixedMatch(DEFLATE_MAX_MATCH, 1);
        if (expected - written >= kLastLiterals + DEFLATE_MIN_MATCH) {
            literals.FixedMatch(expected - written - kLastLiterals, 1);
            written = expected - kLastLiterals;
        }
        for (; written < expected; ++written) literals.FixedSymbol('c');
        literals.FixedSymbol(286);
        for (int i = 0; i < 8; ++i) literals.Put(0, 64);  // input for the word-at-a-time loops
        ASSERT_EQ(decoder.Decode(literals.Finish(), &produced, room), DECODER_OK);
        EXPECT_EQ(produced, expected);
    }
}

struct ZlibSettings {
    const char* name;
    int level;
    int strategy;
    bool flushInside;  // a sync flush: several DEFLATE blocks, an empty stored one
};
void PrintTo(const ZlibSettings& settings, std::ostream* out) { *out << settings.name; }

class ZlibCompat : public ::testing::TestWithParam<ZlibSettings> {};

TEST_P(ZlibCompat, FolderDecodesBlockByBlock) {
    // Text, noise and runs, with passages repeated from almost a block back.
    const uint64_t seed = 0x5EED0000u + GetParam().level * 16 + GetParam().strategy;
    SCOPED_TRACE("seed " + std::to_string(seed));
    testsupport::Rng rng(seed);
    const std::vector<uint8_t> text = testsupport::TextBytes(60000, seed), noise = testsupport::RandomBytes(9000, seed);
    std::vector<uint8_t> data;
    while (data.size() < 5 * kRingSize + 1234) {
        const uint32_t piece = 200 + rng.Below(6000);
        uint32_t kind = rng.Below(4);
        if (kind == 3 && data.size() < kRingSize) kind = 2;
        const size_t from = kind == 0 ? rng.Below(50000) : kind == 1 ? rng.Below(3000) : data.size() - kRingSize + rng.Below(300);
        for (uint32_t i = 0; i < piece; ++i) {
            if (kind == 0) data.push_back(text[from + i]);
            else if (kind == 1) data.push_back(noise[from + i]);
            else if (kind == 2) data.push_back(static_cast<uint8_t>(piece));
            else data.push_back(data[from + i]);
        }
    }
    data.resize(5 * kRingSize + 1234);

    FolderDecoder decoder;
    for (size_t offset = 0; offset < data.size(); offset += kRingSize) {
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(kRingSize, data.size() - offset));
        const std::vector<uint8_t> block = ZlibBlock(data.data() + offset, size, GetParam().level, GetParam().strategy,
                                                     offset ? data.data() + offset - kRingSize : nullptr,
                                                     GetParam().flushInside);
        ASSERT_LE(block.size(), kMaxCompressedBlock);
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(block, &produced), DECODER_OK) << "block at " << offset;
        ASSERT_EQ(produced, size) << "block at " << offset;
        ASSERT_TRUE(std::equal(decoder.ring.begin(), decoder.ring.begin() + size, data.begin() + offset))
            << "block at " << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LevelsAndStrategies, ZlibCompat,
    ::testing::Values(ZlibSettings{"level1", 1, Z_DEFAULT_STRATEGY, false}, ZlibSettings{"level6", 6, 0, false},
                      ZlibSettings{"level9", 9, 0, false}, ZlibSettings{"filtered", 6, Z_FILTERED, false},
                      ZlibSettings{"huffmanOnly", 6, Z_HUFFMAN_ONLY, false}, ZlibSettings{"fixed", 6, Z_FIXED, false},
                      ZlibSettings{"rle", 6, Z_RLE, false}, ZlibSettings{"stored", 0, 0, false},
                      ZlibSettings{"flushed", 9, 0, true}),
    [](const ::testing::TestParamInfo<ZlibSettings>& info) { return std::string(info.param.name); });

}  // namespace

}  // namespace treepak
