#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

#include "cabinet/block_digest.h"
#include "fci_fixture.h"

namespace treepak {

using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

BlockDigest Chain(const std::vector<std::vector<uint8_t>>& blocks) {
    BlockDigest d = BLOCK_DIGEST_START;
    for (const auto& b : blocks) d = ChainBlockDigest(d, b.data(), static_cast<uint32_t>(b.size()));
    return d;
}

TEST(BlockDigest, LinkStandsForContentsOrderCutPointsAndEveryBit) {
    const std::vector<uint8_t> a = TextBytes(3000, 1), b = TextBytes(2000, 2);
    std::vector<uint8_t> joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    const BlockDigest ab = Chain({a, b});
    for (const BlockDigest& other : {Chain({b, a}), Chain({joined}), Chain({a, b, {}}),  // an empty block is a link
                                     Chain({{joined.begin(), joined.begin() + 2999}, {joined.begin() + 2999, joined.end()}})})
        EXPECT_NE(other, ab);
    std::vector<uint8_t> block = RandomBytes(77, 3);  // full steps and a tail
    const BlockDigest base = Chain({block});
    for (size_t bit = 0; bit < block.size() * 8; ++bit) {
        block[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        const BlockDigest flipped = Chain({block});
        block[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        ASSERT_TRUE(flipped.lane[0] != base.lane[0] && flipped.lane[1] != base.lane[1]) << bit;
    }
    // Zero padding of the tail must not alias a longer run of zeros.
    for (size_t n = 0; n < 48; ++n)
        EXPECT_NE(Chain({std::vector<uint8_t>(n, 0)}), Chain({std::vector<uint8_t>(n + 1, 0)})) << n;
}

struct TestMemo {
    using Key = std::tuple<uint16_t, uint32_t, uint64_t, uint64_t>;
    std::map<Key, std::pair<std::vector<uint8_t>, uint32_t>> entries;
    int hits = 0, misses = 0, stores = 0;

    static Key KeyOf(const FCIBlockKey* k) {
        return {k->compressionType, k->uncompressedSize, k->digest[0], k->digest[1]};
    }
    static int32_t Lookup(const FCIBlockKey* key, void* output, uint32_t capacity, uint32_t* size,
                          uint32_t* token, void* context) {
        auto* memo = static_cast<TestMemo*>(context);
        auto found = memo->entries.find(KeyOf(key));
        if (found == memo->entries.end() || found->second.first.size() > capacity) {
            ++memo->misses;
            return 0;
        }
        ++memo->hits;
        std::memcpy(output, found->second.first.data(), found->second.first.size());
        *size = static_cast<uint32_t>(found->second.first.size());
        *token = found->second.second;
        return 1;
    }
    static void Store(const FCIBlockKey* key, const void* bytes, uint32_t size, uint32_t token, void* context) {
        auto* memo = static_cast<TestMemo*>(context);
        ++memo->stores;
        const auto* p = static_cast<const uint8_t*>(bytes);
        memo->entries[KeyOf(key)] = {std::vector<uint8_t>(p, p + size), token};
    }
};

struct JobFile {
    std::string name;
    std::vector<uint8_t> bytes;
    uint16_t type;
};

// Text in which a long repeat runs across every block end, so the block's
// last match reaches its end (the compressor then leaves the last positions
// out of its tables, which priming must reproduce).
std::vector<uint8_t> RepeatsAcrossBlockEnds(uint32_t blocks, uint64_t seed) {
    std::vector<uint8_t> v = TextBytes(blocks * CAB_BLOCK_SIZE + 5000, seed);
    for (uint32_t k = 1; k <= blocks; ++k) {
        const uint32_t at = k * CAB_BLOCK_SIZE - 700 - 37 * k;
        std::memmove(v.data() + at, v.data() + at - 9000, 1400);
    }
    return v;
}

class FciBlockMemoTest : public FciTest {
protected:
    struct Built {
        std::vector<uint8_t> cabinet;
        std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> reports;
    };

    Built Build(const std::string& cabinet, const std::vector<JobFile>& job, TestMemo* memo,
                bool oneFolder = false, const BlockDigest& chainStart = BLOCK_DIGEST_START) {
        client.status.clear();
        EXPECT_TRUE(Create(Params(cabinet)));
        if (memo != nullptr) {
            EXPECT_EQ(FCISetBlockMemo(context, TestMemo::Lookup, TestMemo::Store, chainStart, memo), 1);
        }
        for (const JobFile& f : job) {
            EXPECT_EQ(Add(f.name, f.bytes, f.type), 1) << f.name;
            if (!oneFolder) {
                EXPECT_EQ(fcitest::FlushFolder(context), 1);
            }
        }
        EXPECT_EQ(fcitest::FlushCabinet(context), 1);
        EXPECT_EQ(Destroy(), 1);
        Built built{Bytes(cabinet), {}};
        for (const auto& r : client.status) built.reports.emplace_back(r.kind, r.size1, r.size2);
        return built;
    }
    void ExpectSame(const Built& a, const Built& b) {
        EXPECT_TRUE(a.cabinet == b.cabinet);
        EXPECT_TRUE(a.reports == b.reports);
    }

    std::vector<JobFile> Job() {
        return {{"text", TextBytes(5 * CAB_BLOCK_SIZE + 1234, 1), COMPRESS_DEFLATE},
                {"random", RandomBytes(70000, 2), COMPRESS_DEFLATE},
                {"repeats", RepeatsAcrossBlockEnds(4, 3), COMPRESS_DEFLATE},
                {"stored", TextBytes(40000, 4), COMPRESS_NONE},
                {"lzx", TextBytes(50000, 5), MakeLzxType(16)},
                {"exact", TextBytes(2 * CAB_BLOCK_SIZE, 6), COMPRESS_DEFLATE}};
    }
};

}  // namespace

// The same job again hits every deflate block; keys under another chain
// start share nothing. After a change the changed block and the one after
// it miss, and the compressor, skipped for the hits before, must then
// compress them exactly as if it had seen every block.
TEST_F(FciBlockMemoTest, BuildsThroughAMemoEqualBuildsWithout) {
    const std::vector<JobFile> first = Job();
    std::vector<JobFile> second = first;
    second[0].bytes[3 * CAB_BLOCK_SIZE + 10] ^= 1;      // text: blocks 0-2 hit, 3-5 miss
    second[2].bytes[3 * CAB_BLOCK_SIZE + 100] ^= 1;     // repeats: the miss follows an early-stop block
    second[1].type = COMPRESS_NONE;                     // the decision stored it
    second[5].bytes.push_back('!');                     // a last block that is new
    for (bool oneFolder : {false, true}) {
        SCOPED_TRACE(oneFolder);
        const Built plain = Build("plain.cab", first, nullptr, oneFolder);
        TestMemo memo;
        ExpectSame(Build("first.cab", first, &memo, oneFolder), plain);
        const int deflateBlocks = memo.stores;
        EXPECT_EQ(memo.hits, 0);
        EXPECT_EQ(deflateBlocks, oneFolder ? 12 + 2 : 6 + 3 + 5 + 2);
        ExpectSame(Build("again.cab", first, &memo, oneFolder), plain);
        EXPECT_EQ(memo.hits, deflateBlocks);
        ExpectSame(Build("other.cab", first, &memo, oneFolder, BlockDigest{{1, 2}}), plain);
        EXPECT_EQ(memo.stores, 2 * deflateBlocks);
        memo.hits = memo.misses = 0;
        ExpectSame(Build("second.cab", second, &memo, oneFolder), Build("plain2.cab", second, nullptr, oneFolder));
        EXPECT_GT(memo.hits, 0);
        EXPECT_GT(memo.misses, 0);
    }
}

TEST_F(FciBlockMemoTest, MemoIsSetBeforeTheFirstFileOnly) {
    TestMemo memo;
    ASSERT_TRUE(Create(Params()));
    EXPECT_EQ(FCISetBlockMemo(context, TestMemo::Lookup, nullptr, BLOCK_DIGEST_START, &memo), 0);
    ASSERT_EQ(Add("a", TextBytes(1000, 1), COMPRESS_DEFLATE), 1);
    EXPECT_EQ(FCISetBlockMemo(context, TestMemo::Lookup, TestMemo::Store, BLOCK_DIGEST_START, &memo), 0);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    EXPECT_EQ(memo.stores, 0);
}

// A coder that starts in the middle of a folder, as a worker does, guesses
// what the block before it left in the match tables; on text whose matches
// run across every block end the guess holds, and the engine finds every
// block the coder compressed and writes the cabinet it writes alone.
TEST_F(FciBlockMemoTest, CoderStartingMidFolderFillsTheMemoTheEngineReads) {
    const std::vector<JobFile> job = {{"repeats", RepeatsAcrossBlockEnds(6, 8), COMPRESS_DEFLATE}};
    const std::vector<uint8_t>& bytes = job[0].bytes;
    TestMemo memo;
    const FCIBlockMemo callbacks{TestMemo::Lookup, TestMemo::Store, BLOCK_DIGEST_START, &memo};
    FCIBlockCoder* coder = FCICreateBlockCoder(
        COMPRESS_DEFLATE, [](uint32_t n) { return std::malloc(n); }, std::free, &callbacks);
    ASSERT_NE(coder, nullptr);
    ASSERT_EQ(FCIBlockCoderAssume(coder, bytes.data() + 2 * CAB_BLOCK_SIZE, CAB_BLOCK_SIZE), 1);
    for (uint32_t at = 3 * CAB_BLOCK_SIZE; at < bytes.size(); at += CAB_BLOCK_SIZE) {
        const uint8_t* compressed = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(FCIBlockCoderNext(coder, bytes.data() + at, std::min<uint32_t>(CAB_BLOCK_SIZE, bytes.size() - at),
                                    &compressed, &size), 1);
    }
    FCIDestroyBlockCoder(coder);
    ASSERT_EQ(memo.stores, 4);
    memo.misses = 0;
    ExpectSame(Build("worked.cab", job, &memo), Build("plain.cab", job, nullptr));
    EXPECT_EQ(memo.hits, 4);
    EXPECT_EQ(memo.misses, 3);
}

}  // namespace treepak
