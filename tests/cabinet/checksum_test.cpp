// The block checksum: whole 32-bit little-endian words XORed, then the 0..3
// tail bytes folded in with the first byte highest; a data record's checksum
// continues over its size fields.
#include <gtest/gtest.h>

#include <vector>

#include "cabinet/checksum.h"
#include "cab_parser.h"
#include "test_support.h"

namespace treepak {

TEST(CabChecksum, TailBytesFoldFirstByteHighest) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(CabChecksum(bytes, 5, 0), 0x04030204u);
    EXPECT_EQ(CabChecksum(bytes, 3, 0), 0x00010203u);
    EXPECT_EQ(CabChecksum(bytes, 2, 0), 0x0102u);
    EXPECT_EQ(CabChecksum(bytes, 0, 0xDEADBEEF), 0xDEADBEEFu);
    const uint8_t header[8] = {0, 0, 0, 0, 3, 0, 3, 0};
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(CabDataChecksum(header, 0, abc, 3), 0x00626260u);
}

// The word-at-a-time path must agree with a byte-wise reference for every
// length and alignment.
TEST(CabChecksum, MatchesBytewiseReference) {
    std::vector<uint8_t> data = testsupport::RandomBytes(200, 7);
    for (uint32_t offset = 0; offset < 8; ++offset)
        for (uint32_t n = 0; n + offset <= data.size(); ++n)
            ASSERT_EQ(CabChecksum(data.data() + offset, n, 0x1234567u),
                      testsupport::ReferenceChecksum(data.data() + offset, n, 0x1234567u))
                << "offset " << offset << " length " << n;
}

}  // namespace treepak
