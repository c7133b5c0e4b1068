// Back references through the folder's ring: matches that reach into the
// previous block, wrap around the ring's end or overlap their own output,
// and the output room that ends a block early.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "deflate_test_util.h"
#include "test_support.h"

namespace {

// Random literals and matches of every distance class, each block checked
// against a byte-by-byte model of the ring: the previous block with this
// block's bytes written over it, and nothing written past them.
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

    for (uint32_t blockSize : {kRingSize, kRingSize, kRingSize, 5000u}) {
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
        out.FixedSymbol(DEFLATE_END_OF_BLOCK);
        // Bytes after the final block are ignored; they let the decoder take
        // its word-at-a-time path up to the end of the block.
        std::vector<uint8_t> data = out.Finish();
        data.resize(data.size() + 2 * sizeof(uint64_t));
        ASSERT_EQ(decoder.Decode(data, &produced), DECODER_OK);
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

    for (uint32_t room : {kRingSize, 100u, 1u, 2 * kRingSize}) {
        FolderDecoder decoder;
        const uint32_t expected = std::min(room, kRingSize);
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(matches.Finish(), &produced, room), DECODER_OK);
        EXPECT_EQ(produced, expected);
        EXPECT_EQ(std::count(decoder.ring.begin(), decoder.ring.end(), 'a'), expected);
        ASSERT_EQ(decoder.Decode(storedBlock, &produced, room), DECODER_OK);
        EXPECT_EQ(produced, std::min(expected, 1000u));
    }
}

}  // namespace
