// Helpers of the block deflate compressor tests: a compressor on counted
// memory, the round-trip check through zlib, and the generated inputs the
// golden vectors are recorded over (never change what they produce).
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "compress/compressor.h"
#include "test_support.h"

namespace treepak {

namespace deflatetest {

inline constexpr uint32_t kBlock = 32768;
inline constexpr uint32_t kMaxOutput = kBlock + 12;
using SplitMix = testsupport::Rng;

struct Compressor {
    void* handle = nullptr;
    Compressor() {
        uint32_t blockSize = kBlock, maxOut = 0;
        EXPECT_EQ(DeflateCreate(&blockSize, testsupport::CountingAlloc, testsupport::CountingFree, &maxOut, &handle),
                  COMPRESSOR_OK);
    }
    ~Compressor() { DeflateDestroy(handle); }
    std::vector<uint8_t> Compress(const std::vector<uint8_t>& input) {
        std::vector<uint8_t> out(kMaxOutput);
        uint32_t size = 0;
        EXPECT_EQ(DeflateCompressBlock(handle, input.data(), static_cast<uint32_t>(input.size()), out.data(),
                                       kMaxOutput, &size),
                  COMPRESSOR_OK);
        out.resize(size);
        return out;
    }
};

// "CK", the output limit, and zlib gives the input back with exactly
// `history` as the bytes a match may reach before the block.
inline void CheckBlock(const std::vector<uint8_t>& input, const std::vector<uint8_t>& output,
                       const std::vector<uint8_t>& history) {
    ASSERT_LE(output.size(), kMaxOutput);
    ASSERT_TRUE(output.size() >= 3 && output[0] == 'C' && output[1] == 'K') << "no CK marker";
    z_stream z{};
    inflateInit2(&z, -15);
    if (!history.empty()) inflateSetDictionary(&z, history.data(), static_cast<uInt>(history.size()));
    std::vector<uint8_t> out(2 * kBlock);
    z.next_in = const_cast<Bytef*>(output.data() + 2);
    z.avail_in = static_cast<uInt>(output.size() - 2);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_TRUE(out == input) << "zlib round trip";
}

inline std::vector<uint8_t> RandomOf(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v(count);
    for (auto& b : v) b = static_cast<uint8_t>(rng.Next() >> 56);
    return v;
}

inline std::vector<uint8_t> WordsOf(size_t count, uint64_t seed) {
    static const char* const kWords[] = {"the ", "cabinet ", "folder ", "block ", "of ", "and ", "data ",
                                         "to ", "compress ", "a ", "file\n", "tree ", "history, ", "match "};
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    while (v.size() < count)
        for (const char* w = kWords[rng.Below(std::size(kWords))]; *w; ++w) v.push_back(static_cast<uint8_t>(*w));
    v.resize(count);
    return v;
}

// Bytes in which no three-byte string occurs twice: no match to find.
inline std::vector<uint8_t> TrigramUniqueBytes(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<bool> seen(1u << 24);
    std::vector<uint8_t> out;
    while (out.size() < count) {
        uint8_t b = static_cast<uint8_t>(rng.Below(256));
        if (out.size() >= 2) {
            uint32_t tri = (uint32_t(out[out.size() - 2]) << 16) | (uint32_t(out.back()) << 8) | b;
            if (seen[tri]) continue;
            seen[tri] = true;
        }
        out.push_back(b);
    }
    return out;
}

inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t count) {
    return std::vector<uint8_t>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(from + count));
}

}  // namespace deflatetest

}  // namespace treepak
