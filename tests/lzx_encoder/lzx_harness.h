// Test helpers for the LZX encoder: run folders through the compressor
// interface collecting the frames, decode frames with the LZX decoder, and
// the inputs of the golden vectors (never change them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compress/compressor.h"

namespace lzxtest {

struct Frame {
    std::vector<uint8_t> bytes;
    uint32_t uncompressedSize;
};
using Frames = std::vector<Frame>;

// One encoder, the folders in order with flush and reset between them; the
// frames of each folder. The memory functions default to malloc and free.
std::vector<Frames> EncodeFolders(const std::vector<std::vector<uint8_t>>& folders, uint32_t windowBits,
                                  uint32_t slide = 65536, FCIAllocFn alloc = nullptr, FCIFreeFn free = nullptr);

// Decodes one folder's frames; fails the calling test on a decoder error.
std::vector<uint8_t> DecodeFrames(const Frames& frames, uint32_t windowBits);

std::string HashFrames(const Frames& frames);

// Input makers.
std::vector<uint8_t> X86LikeBytes(size_t count, uint64_t seed);  // many 0xE8 call operands
std::vector<uint8_t> RunBytes(size_t count);                     // long runs of few values
// Prose-like text: a large vocabulary with skewed word frequencies, so that
// it is coded with many short matches (about one item per three bytes).
std::vector<uint8_t> ProseBytes(size_t count, uint64_t seed);
std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts);

}  // namespace lzxtest
