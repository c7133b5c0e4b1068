#include "decoder_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "decompress/decoder.h"
#include "test_support.h"

namespace lzxtest {
namespace {

int64_t g_outstanding = 0;
constexpr uint32_t kSlack = 4;

}  // namespace

void* TestAlloc(uint32_t size) {
    ++g_outstanding;
    return std::malloc(size);
}
void TestFree(void* block) {
    if (block) --g_outstanding;
    std::free(block);
}
int64_t OutstandingAllocations() { return g_outstanding; }

LdiDecoder::LdiDecoder(uint32_t windowSize) {
    uint32_t uncompressedSize = 32768, compressedSize = 0;
    const DecoderConfig config{windowSize, 0};
    const DecoderFileCallbacks files{};
    EXPECT_EQ(LdiCreate(&uncompressedSize, &config, TestAlloc, TestFree, &compressedSize, &handle_, &files),
              DECODER_OK);
}

LdiDecoder::~LdiDecoder() {
    if (handle_) {
        EXPECT_EQ(LdiDestroy(handle_), DECODER_OK);
    }
}

int LdiDecoder::Decode(const std::vector<uint8_t>& bytes, uint32_t uncompressedSize,
                       std::vector<uint8_t>* out) {
    std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size() + kSlack]());
    if (!bytes.empty()) std::memcpy(input.get(), bytes.data(), bytes.size());
    std::unique_ptr<uint8_t[]> output(new uint8_t[uncompressedSize + 1]);
    uint32_t size = uncompressedSize;
    const int status = LdiDecode(handle_, input.get(), static_cast<uint32_t>(bytes.size()), output.get(), &size);
    if (status == DECODER_OK) {
        EXPECT_EQ(size, uncompressedSize);
        out->insert(out->end(), output.get(), output.get() + size);
    }
    return status;
}

DecodeResult LdiDecoder::DecodeAll(const std::vector<Frame>& frames) {
    DecodeResult result;
    for (size_t i = 0; i < frames.size(); ++i) {
        const int status = Decode(frames[i].bytes, frames[i].uncompressedSize, &result.output);
        if (status != DECODER_OK) {
            result.status = status;
            result.failedFrame = i;
            break;
        }
    }
    return result;
}

std::vector<uint8_t> X86LikeBytes(size_t count, uint64_t seed) {
    testsupport::Rng rng(seed);
    std::vector<uint32_t> targets(40);
    for (uint32_t& t : targets) t = rng.Below(1u << 20);
    static const uint8_t kPatterns[][4] = {{0x55, 0x89, 0xE5, 0x83}, {0x8B, 0x45, 0x08, 0x50},
                                           {0x31, 0xC0, 0x5D, 0xC3}, {0x48, 0x8D, 0x05, 0x00}};
    std::vector<uint8_t> out;
    out.reserve(count + 8);
    while (out.size() < count) {
        const uint32_t pick = rng.Below(10);
        if (pick < 4) {
            out.push_back(0xE8);
            const uint32_t rel = targets[rng.Below(targets.size())] - static_cast<uint32_t>(out.size() + 4);
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(rel >> (8 * i)));
        } else if (pick < 8) {
            const auto& p = kPatterns[rng.Below(4)];
            out.insert(out.end(), p, p + 4);
        } else {
            out.push_back(static_cast<uint8_t>(rng.Next()));
        }
    }
    out.resize(count);
    return out;
}

DecodeResult DecodeFrames(const std::vector<Frame>& frames, uint32_t windowSize) {
    LdiDecoder decoder(windowSize);
    return decoder.DecodeAll(frames);
}

}  // namespace lzxtest
