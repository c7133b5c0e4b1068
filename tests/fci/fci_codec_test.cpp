// Folders compressed through the compressor interface: block deflate
// (checked with zlib by the test-side parser) and LZX (checked with the
// project's LZX decoder), within one cabinet and across sets.
#include "cabinet/lzx_format.h"
#include "fci_fixture.h"
#include "lzx_harness.h"

namespace treepak {

using testsupport::ParsedCabinet;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

// Decodes a joined LZX folder; pad-only frames hold no output.
std::string DecodeLzx(const testsupport::JoinedFolder& folder, std::vector<uint8_t>* stream) {
    lzxtest::Frames frames;
    for (const auto& b : folder.blocks)
        if (b.uncompressedSize != 0) frames.push_back({b.data, b.uncompressedSize});
    lzxtest::DecodeResult result = lzxtest::DecodeFrames(frames, 1u << CompressWindowBits(folder.compressionType));
    *stream = std::move(result.output);
    return result.status == 0 ? "" : "block " + std::to_string(result.failedFrame) + " does not decode";
}

class FciCodecTest : public FciTest {
protected:
    // Parses a set, decodes LZX folders with the decoder and every other
    // kind through the parser, and compares the files with the sources.
    std::vector<ParsedCabinet> CheckSet(const std::vector<std::string>& names) {
        std::vector<ParsedCabinet> set;
        for (const std::string& n : names) set.push_back(Parse(n));
        std::vector<testsupport::JoinedFolder> folders;
        EXPECT_EQ(testsupport::JoinSet(set, &folders), "");
        std::vector<std::vector<uint8_t>> streams(folders.size());
        for (size_t i = 0; i < folders.size(); ++i) {
            const bool lzx = CompressKind(folders[i].compressionType) == COMPRESS_LZX;
            EXPECT_EQ(lzx ? DecodeLzx(folders[i], &streams[i])
                          : testsupport::DecodeFolder(folders[i], &streams[i]),
                      "")
                << "folder " << i;
        }
        // Files were added in order into consecutive folders.
        std::vector<uint8_t> all, expected;
        for (const auto& s : streams) all.insert(all.end(), s.begin(), s.end());
        for (const std::string& name : order) expected.insert(expected.end(), sources[name].begin(), sources[name].end());
        EXPECT_TRUE(all == expected);
        return set;
    }
    int AddInOrder(const std::string& name, const std::vector<uint8_t>& bytes, uint16_t type) {
        order.push_back(name);
        return Add(name, bytes, type);
    }
    std::vector<std::string> order;
};

}  // namespace

// Seeded random jobs: file sizes, kinds (LZX at every window), folder and
// cabinet breaks, size limits and reserves vary; every set must parse and
// give the files back, and the file reports must account for every byte.
TEST_F(FciCodecTest, RandomJobsRoundTrip) {
    const uint64_t seed = 0x5EED0000 + static_cast<uint64_t>(::testing::UnitTest::GetInstance()->random_seed());
    std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
    testsupport::Rng rng(seed);
    for (int job = 0; job < 16; ++job) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " job " << job);
        order.clear();
        sources.clear();
        client.nexts.clear();
        client.status.clear();
        CabParams p = Params();
        p.maxCabinetSize = 3000 + rng.Below(60000);
        p.folderThreshold = rng.Below(2) ? 0x7FFFFFFF : rng.Below(80000);
        p.headerReserveSize = rng.Below(3) == 0 ? rng.Below(300) : 0;
        p.folderReserveSize = rng.Below(3) == 0 ? rng.Below(256) : 0;
        p.dataReserveSize = rng.Below(3) == 0 ? rng.Below(256) : 0;
        ASSERT_TRUE(Create(p));
        // The first jobs take LZX at each window in turn.
        const uint32_t kind = job <= int(LZX_MAX_WINDOW_BITS - LZX_MIN_WINDOW_BITS) ? 2 : rng.Below(3);
        const uint16_t type = kind == 0 ? COMPRESS_NONE : kind == 1 ? COMPRESS_DEFLATE
                                                                    : MakeLzxType(LZX_MIN_WINDOW_BITS + job % 7);
        const int files = 1 + static_cast<int>(rng.Below(6));
        uint32_t total = 0;
        for (int i = 0; i < files; ++i) {
            const size_t size = rng.Below(4) == 0 ? rng.Below(10) : rng.Below(90000);
            auto bytes = rng.Below(2) ? TextBytes(size, rng.Next()) : RandomBytes(size, rng.Next());
            total += static_cast<uint32_t>(size);
            ASSERT_EQ(AddInOrder("f" + std::to_string(i), bytes, rng.Below(5) == 0 ? COMPRESS_NONE : type), 1);
            const uint32_t action = rng.Below(8);
            if (action == 0) {
                ASSERT_EQ(fcitest::FlushFolder(context), 1);
            } else if (action == 1) {
                ASSERT_EQ(fcitest::FlushCabinet(context, 1), 1);
            }
        }
        ASSERT_EQ(fcitest::FlushCabinet(context), 1);
        ASSERT_EQ(Destroy(), 1);
        std::vector<std::string> names{"out.cab"};
        for (size_t i = 0; i < client.nexts.size(); ++i) names.push_back("cab" + std::to_string(i + 2) + ".cab");
        auto set = CheckSet(names);
        // The file reports account for every uncompressed byte once.
        uint32_t consumed = 0;
        for (const auto& r : Reports(FCI_STATUS_FILE)) consumed += r.size2;
        EXPECT_EQ(consumed, total);
        // Folders placed whole reserve no room for next names that are not
        // known yet; a cabinet closed because the following folder did not
        // fit at all may pass its limit by those names.
        for (const auto& cab : set)
            EXPECT_LE(cab.cabinetSize, p.maxCabinetSize + cab.nextCabinet.size() + cab.nextDisk.size() +
                                           (cab.flags & CAB_FLAG_NEXT_CABINET ? 2 : 0));
        for (const std::string& n : names) std::filesystem::remove(scratch.path() / n);
    }
}

}  // namespace treepak
