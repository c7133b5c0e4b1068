// Shared helpers of the block deflate compressor tests: a compressor handle
// on counted malloc/free, zlib as the independent decoder, and inputs
// without any repeated three-byte string.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compress/compressor.h"
#include "stream_parser.h"
#include "test_support.h"

namespace deflatetest {

inline constexpr uint32_t kBlock = 32768;
inline constexpr uint32_t kMaxOutput = kBlock + 12;

// Allocation callbacks that count live blocks, and can be told to fail.
struct AllocCounter {
    static inline int live = 0;
    static inline int failAfter = -1;  // successful allocations left; -1 = never fail
    static void* Alloc(uint32_t size) {
        if (failAfter == 0) return nullptr;
        if (failAfter > 0) --failAfter;
        ++live;
        return std::malloc(size);
    }
    static void Free(void* p) {
        --live;
        std::free(p);
    }
};

class Compressor {
public:
    Compressor() {
        uint32_t blockSize = kBlock;
        uint32_t maxOut = 0;
        EXPECT_EQ(DeflateCreate(&blockSize, AllocCounter::Alloc, AllocCounter::Free, &maxOut, &handle_),
                  COMPRESSOR_OK);
        EXPECT_EQ(maxOut, kMaxOutput);
    }
    ~Compressor() {
        if (handle_) {
            EXPECT_EQ(DeflateDestroy(handle_), COMPRESSOR_OK);
        }
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    void* handle() const { return handle_; }
    std::vector<uint8_t> Compress(const std::vector<uint8_t>& input) {
        std::vector<uint8_t> out(kMaxOutput);
        uint32_t size = 0;
        int rc = DeflateCompressBlock(handle_, input.data(), static_cast<uint32_t>(input.size()), out.data(),
                                      kMaxOutput, &size);
        EXPECT_EQ(rc, COMPRESSOR_OK);
        out.resize(rc == COMPRESSOR_OK ? size : 0);
        return out;
    }
    void Reset() { EXPECT_EQ(DeflateReset(handle_), COMPRESSOR_OK); }

private:
    void* handle_ = nullptr;
};

// Raw inflate of `stream` with `history` as preset dictionary (none when
// empty). Fails the test unless the stream ends exactly at its last byte.
inline std::vector<uint8_t> ZlibInflate(const uint8_t* stream, size_t size, const std::vector<uint8_t>& history) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    if (!history.empty()) {
        EXPECT_EQ(inflateSetDictionary(&z, history.data(), static_cast<uInt>(history.size())), Z_OK);
    }
    std::vector<uint8_t> out(2 * kBlock + 1024);
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes left after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// Checks one compressor output: "CK", the size limit, zlib and the test
// parser both give `input` back, and every match keeps the compressor's
// limits. Returns the parsed stream for further checks.
inline ParsedStream CheckBlock(const std::vector<uint8_t>& input, const std::vector<uint8_t>& output,
                               const std::vector<uint8_t>& history) {
    EXPECT_GE(output.size(), 3u);
    EXPECT_LE(output.size(), kMaxOutput);
    if (output.size() < 3) return {};
    EXPECT_EQ(output[0], 0x43);
    EXPECT_EQ(output[1], 0x4B);
    EXPECT_TRUE(ZlibInflate(output.data() + 2, output.size() - 2, history) == input) << "zlib round trip";
    ParsedStream parsed = ParseDeflateStream(output.data() + 2, output.size() - 2, history);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.bytesConsumed + 2, output.size());
    EXPECT_TRUE(parsed.output == input) << "parser round trip";
    for (const ParsedBlock& b : parsed.blocks) {
        for (const Token& t : b.tokens) {
            if (t.length == 0) continue;
            EXPECT_LE(t.distance, 32506u);
            if (t.length == 3) {
                EXPECT_LE(t.distance, 4096u) << "3-byte match too far back";
            }
        }
    }
    return parsed;
}

// A generator of this suite's own, so that golden inputs do not move when
// shared helpers change.
struct SplitMix {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
};

// Bytes from [low, high] in which no three-byte string occurs twice, so the
// compressor finds no match in them.
inline std::vector<uint8_t> TrigramUniqueBytes(size_t count, uint64_t seed, uint8_t low = 0, uint8_t high = 255) {
    SplitMix rng{seed};
    std::vector<bool> seen(1u << 24);
    std::vector<uint8_t> out;
    uint32_t span = static_cast<uint32_t>(high - low) + 1;
    while (out.size() < count) {
        uint8_t b = static_cast<uint8_t>(low + rng.Below(span));
        if (out.size() >= 2) {
            uint32_t tri = (uint32_t(out[out.size() - 2]) << 16) | (uint32_t(out.back()) << 8) | b;
            if (seen[tri]) continue;
            seen[tri] = true;
        }
        out.push_back(b);
    }
    return out;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t count) {
    return std::vector<uint8_t>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(from + count));
}

}  // namespace deflatetest
