// The output room that ends a block early. (Matches into the previous block
// and around the ring are checked with zlib's blocks.)
#include <gtest/gtest.h>

#include <algorithm>

#include "deflate_test_util.h"

namespace {

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
