// LZX test helpers shared by the encoder, decoder and writer-engine suites:
// folders through the compressor interface, frames through the reader-facing
// decoder entry points, and the inputs of the golden vectors (never change
// them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compress/compressor.h"
#include "test_support.h"

namespace treepak {

namespace lzxtest {

struct Frame {
    std::vector<uint8_t> bytes;
    uint32_t uncompressedSize;
};
using Frames = std::vector<Frame>;

// One encoder, the folders in order with flush and reset between them; the
// frames of each folder. Memory comes from the counting allocator unless given.
std::vector<Frames> EncodeFolders(const std::vector<std::vector<uint8_t>>& folders, uint32_t windowBits,
                                  uint32_t slide = 65536, FCIAllocFn alloc = testsupport::CountingAlloc,
                                  FCIFreeFn free = testsupport::CountingFree);

struct DecodeResult {
    int status = 0;          // first non-zero LdiDecode result, 0 when all frames decoded
    size_t failedFrame = 0;  // index of that frame
    std::vector<uint8_t> output;
};

// A decoder on the counting allocator, released on scope exit. Each frame is
// passed in a heap block of exactly its size plus the 4 bytes of slack the
// decoder may read, so that the sanitizer build catches any read beyond.
struct LdiDecoder {
    explicit LdiDecoder(uint32_t windowSize);
    ~LdiDecoder();
    LdiDecoder(const LdiDecoder&) = delete;
    LdiDecoder& operator=(const LdiDecoder&) = delete;
    int Decode(const std::vector<uint8_t>& bytes, uint32_t uncompressedSize, std::vector<uint8_t>* out);
    DecodeResult DecodeAll(const Frames& frames);
    void* handle = nullptr;
};

DecodeResult DecodeFrames(const Frames& frames, uint32_t windowSize);
std::string HashFrames(const Frames& frames);

std::vector<uint8_t> X86LikeBytes(size_t count, uint64_t seed);  // many 0xE8 call operands
std::vector<uint8_t> RunBytes(size_t count);                     // long runs of few values
// A large vocabulary with skewed word frequencies, so that it is coded with
// many short matches (about one item per three bytes).
std::vector<uint8_t> ProseBytes(size_t count, uint64_t seed);
std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts);

}  // namespace lzxtest

}  // namespace treepak
