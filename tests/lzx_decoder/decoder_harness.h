// Runs frames through the reader-facing LDIC entry points, each frame in a
// heap block of exactly its size plus the 4 bytes of slack the decoder may
// read, so that the sanitizer build catches any read beyond.
#pragma once

#include <cstdint>
#include <vector>

#include "test_lzx_encoder.h"

namespace lzxtest {

struct DecodeResult {
    int status = 0;            // first non-zero LdiDecode result, 0 when all frames decoded
    size_t failedFrame = 0;    // index of that frame
    std::vector<uint8_t> output;
};

// A decoder created with LdiCreate for the window, released on scope exit.
class LdiDecoder {
public:
    explicit LdiDecoder(uint32_t windowSize);
    ~LdiDecoder();
    LdiDecoder(const LdiDecoder&) = delete;
    LdiDecoder& operator=(const LdiDecoder&) = delete;
    void* handle() const { return handle_; }
    // Decodes one frame; appends its output on success.
    int Decode(const std::vector<uint8_t>& bytes, uint32_t uncompressedSize, std::vector<uint8_t>* out);
    DecodeResult DecodeAll(const std::vector<Frame>& frames);

private:
    void* handle_ = nullptr;
};

DecodeResult DecodeFrames(const std::vector<Frame>& frames, uint32_t windowSize);

// Code-like bytes: short instruction-ish patterns with many 0xE8 calls to a
// few dozen targets, relative operands as an x86 compiler would emit them.
std::vector<uint8_t> X86LikeBytes(size_t count, uint64_t seed);

// Bytes still allocated through the test allocator.
int64_t OutstandingAllocations();
void* TestAlloc(uint32_t size);
void TestFree(void* block);

}  // namespace lzxtest
