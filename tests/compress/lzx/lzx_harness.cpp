#include "lzx_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "decompress/decoder.h"
#include "test_support.h"

namespace treepak {

namespace lzxtest {
namespace {

constexpr uint32_t kSlack = 4;

int CollectFrame(void* context, const uint8_t* bytes, uint32_t compressedSize, uint32_t uncompressedSize) {
    static_cast<Frames*>(context)->push_back({std::vector<uint8_t>(bytes, bytes + compressedSize), uncompressedSize});
    return 0;
}

}  // namespace

std::vector<Frames> EncodeFolders(const std::vector<std::vector<uint8_t>>& folders, uint32_t windowBits,
                                  uint32_t slide, FCIAllocFn alloc, FCIFreeFn free) {
    Frames current;
    std::vector<Frames> result;
    uint32_t blockSize = 32768, maxOutput = 0;
    void* handle = nullptr;
    const LzxParams params{1u << windowBits, slide};
    EXPECT_EQ(LzxCreate(&blockSize, &params, alloc, free, &maxOutput, &handle, CollectFrame, &current), COMPRESSOR_OK);
    if (!handle) return result;
    std::vector<uint8_t> output(maxOutput);
    for (const auto& data : folders) {
        for (size_t at = 0; at < data.size(); at += blockSize) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(blockSize, data.size() - at));
            uint32_t estimate = 0;
            EXPECT_EQ(LzxCompressBlock(handle, data.data() + at, n, output.data(), maxOutput, &estimate),
                      COMPRESSOR_OK);
        }
        EXPECT_EQ(LzxFlush(handle), COMPRESSOR_OK);
        EXPECT_EQ(LzxReset(handle), COMPRESSOR_OK);
        result.push_back(std::move(current));
        current.clear();
    }
    EXPECT_EQ(LzxDestroy(handle), COMPRESSOR_OK);
    return result;
}

LdiDecoder::LdiDecoder(uint32_t windowSize) {
    uint32_t uncompressedSize = 32768, compressedSize = 0;
    const DecoderConfig config{windowSize, 0};
    EXPECT_EQ(LdiCreate(&uncompressedSize, &config, testsupport::CountingAlloc, testsupport::CountingFree,
                        &compressedSize, &handle, nullptr),
              DECODER_OK);
}

LdiDecoder::~LdiDecoder() {
    if (handle) {
        EXPECT_EQ(LdiDestroy(handle), DECODER_OK);
    }
}

int LdiDecoder::Decode(const std::vector<uint8_t>& bytes, uint32_t uncompressedSize, std::vector<uint8_t>* out) {
    std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size() + kSlack]());
    if (!bytes.empty()) std::memcpy(input.get(), bytes.data(), bytes.size());
    std::unique_ptr<uint8_t[]> output(new uint8_t[uncompressedSize + 1]);
    uint32_t size = uncompressedSize;
    const int status = LdiDecode(handle, input.get(), static_cast<uint32_t>(bytes.size()), output.get(), &size);
    if (status == DECODER_OK) {
        EXPECT_EQ(size, uncompressedSize);
        out->insert(out->end(), output.get(), output.get() + size);
    }
    return status;
}

DecodeResult LdiDecoder::DecodeAll(const Frames& frames) {
    DecodeResult result;
    for (size_t i = 0; i < frames.size() && result.status == 0; ++i) {
        result.status = Decode(frames[i].bytes, frames[i].uncompressedSize, &result.output);
        result.failedFrame = i;
    }
    return result;
}

DecodeResult DecodeFrames(const Frames& frames, uint32_t windowSize) { return LdiDecoder(windowSize).DecodeAll(frames); }

std::string HashFrames(const Frames& frames) {
    std::vector<uint8_t> all;
    for (const Frame& f : frames) {
        for (int k = 0; k < 4; ++k) all.push_back(static_cast<uint8_t>(f.bytes.size() >> (8 * k)));
        for (int k = 0; k < 4; ++k) all.push_back(static_cast<uint8_t>(f.uncompressedSize >> (8 * k)));
        all.insert(all.end(), f.bytes.begin(), f.bytes.end());
    }
    return testsupport::HashHex(all);
}

std::vector<uint8_t> X86LikeBytes(size_t count, uint64_t seed) {
    testsupport::Rng rng(seed);
    std::vector<uint8_t> out;
    out.reserve(count + 16);
    // A few "functions" called from many places, between opcode-like filler.
    const uint32_t targets[] = {0x1000, 0x2480, 0x3C00, 0x8F10, 0x12000};
    while (out.size() < count) {
        const uint32_t pick = rng.Below(10);
        if (pick < 4) {
            const uint32_t here = static_cast<uint32_t>(out.size());
            const uint32_t rel = targets[rng.Below(5)] - (here + 5);
            out.push_back(0xE8);
            for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(rel >> (8 * k)));
        } else {
            static const uint8_t ops[][3] = {{0x8B, 0x45, 0xFC}, {0x89, 0xE5, 0x90}, {0x55, 0x53, 0x56},
                                             {0x83, 0xC4, 0x08}, {0xC3, 0x90, 0x90}};
            const auto& op = ops[rng.Below(5)];
            out.insert(out.end(), op, op + 3);
            if (pick == 9) out.push_back(static_cast<uint8_t>(rng.Below(256)));
        }
    }
    out.resize(count);
    return out;
}

std::vector<uint8_t> RunBytes(size_t count) {
    std::vector<uint8_t> out;
    uint8_t value = 'a';
    size_t run = 3;
    while (out.size() < count) {
        out.insert(out.end(), run, value);
        value = static_cast<uint8_t>(value * 7 + 1);
        run = run * 5 % 70001 + 1;
    }
    out.resize(count);
    return out;
}

std::vector<uint8_t> ProseBytes(size_t count, uint64_t seed) {
    testsupport::Rng rng(seed);
    static const char* const kSyllables[] = {"ka", "to", "ren", "mi", "sul", "e", "dra", "o", "lin", "qua",
                                             "st", "ve", "ny", "ab", "or", "is", "pe", "gu", "th", "an"};
    std::vector<std::string> words(4000);
    for (auto& w : words)
        for (uint32_t k = 1 + rng.Below(4); k > 0; --k) w += kSyllables[rng.Below(20)];
    static const char* const kSeparators[] = {" ", " ", " ", " ", " ", ", ", ". ", "\n"};
    std::vector<uint8_t> out;
    while (out.size() < count) {
        const double u = static_cast<double>(rng.Below(1u << 20)) / (1u << 20);
        const std::string& w = words[static_cast<size_t>(u * u * u * words.size())];
        out.insert(out.end(), w.begin(), w.end());
        const char* sep = kSeparators[rng.Below(8)];
        out.insert(out.end(), sep, sep + std::strlen(sep));
    }
    out.resize(count);
    return out;
}

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace lzxtest

}  // namespace treepak
