// Helpers of the block deflate compressor tests: a handle on counted
// malloc/free, the round-trip check through zlib and the test parser, and
// generated inputs that do not depend on shared helpers.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compress/compressor.h"
#include "stream_parser.h"

namespace deflatetest {

inline constexpr uint32_t kBlock = 32768;
inline constexpr uint32_t kMaxOutput = kBlock + 12;

// Allocation callbacks that count live blocks and can be told to fail.
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

struct Compressor {
    void* handle = nullptr;
    Compressor() {
        uint32_t blockSize = kBlock, maxOut = 0;
        EXPECT_EQ(DeflateCreate(&blockSize, AllocCounter::Alloc, AllocCounter::Free, &maxOut, &handle), COMPRESSOR_OK);
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

inline std::vector<uint8_t> ZlibInflate(const uint8_t* stream, size_t size, const std::vector<uint8_t>& history) {
    z_stream z{};
    inflateInit2(&z, -15);
    if (!history.empty()) inflateSetDictionary(&z, history.data(), static_cast<uInt>(history.size()));
    std::vector<uint8_t> out(2 * kBlock);
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// "CK", the output limit, both decoders give the input back, and every
// match keeps the distance rules. Returns the parse for further checks.
inline ParsedStream CheckBlock(const std::vector<uint8_t>& input, const std::vector<uint8_t>& output,
                               const std::vector<uint8_t>& history) {
    EXPECT_LE(output.size(), kMaxOutput);
    if (output.size() < 3 || output[0] != 'C' || output[1] != 'K') {
        ADD_FAILURE() << "no CK marker";
        return {};
    }
    EXPECT_TRUE(ZlibInflate(output.data() + 2, output.size() - 2, history) == input) << "zlib round trip";
    ParsedStream parsed = ParseDeflateStream(output.data() + 2, output.size() - 2, history);
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.bytesConsumed + 2, output.size());
    for (const ParsedBlock& b : parsed.blocks) {
        for (const Token& t : b.tokens) {
            EXPECT_LE(t.distance, 32506u);
            EXPECT_TRUE(t.length != 3 || t.distance <= 4096) << "3-byte match " << t.distance << " back";
        }
    }
    return parsed;
}

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
    while (v.size() < count) {
        for (const char* w = kWords[rng.Below(std::size(kWords))]; *w; ++w) v.push_back(static_cast<uint8_t>(*w));
    }
    v.resize(count);
    return v;
}

// Bytes from [low, high] in which no three-byte string occurs twice: the
// compressor finds no match in them.
inline std::vector<uint8_t> TrigramUniqueBytes(size_t count, uint64_t seed, uint8_t low = 0, uint8_t high = 255) {
    SplitMix rng{seed};
    std::vector<bool> seen(1u << 24);
    std::vector<uint8_t> out;
    while (out.size() < count) {
        uint8_t b = static_cast<uint8_t>(low + rng.Below(high - low + 1u));
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
