// Helpers for the Quantum decoder tests: the committed streams, client
// callbacks (size- and count-limited allocation, spill files in a scratch
// directory) and a decoder that takes encoded blocks through the operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decompress/decoder.h"

namespace treepak {

namespace qtest {

struct EncodedBlock {
    std::vector<uint8_t> bytes;
    uint32_t uncompressedSize = 0;
};

// Nothing in the product writes Quantum data: the folders under streams/
// were made once by an encoder written for the tests alone (the exact
// inverse of the decoder's models and coder), which parsed each greedily
// with matches of every length class at every distance up to the window,
// or placed matches at the edges of each class by hand. A file is a list of
// blocks, each [u32 uncompressed size][u32 compressed size][bytes], little-
// endian; `hash` is that of the folder's output.
struct CommittedStream {
    const char* name;
    uint32_t windowBits;
    const char* hash;
};
extern const CommittedStream kStreams[];
extern const size_t kStreamCount;
std::vector<EncodedBlock> LoadStream(const char* name);

// Allocation callbacks over malloc; new blocks are filled with 0xA5 so that
// uncleared memory shows. `LimitAllocation` makes TestAlloc refuse blocks of
// `refuseFrom` bytes or more, blocks of exactly `refuseExactly` bytes, and
// every block once `maxBlocks` blocks are outstanding.
void* TestAlloc(uint32_t size);
void TestFree(void* block);
void LimitAllocation(uint32_t refuseFrom, uint32_t refuseExactly, uint32_t maxBlocks);
void AllowAllAllocation();
uint32_t OutstandingBlocks();

// File callbacks whose open starts a fresh file in memory whatever name it
// is given (recording the name's bytes and the flags), and that can be told
// to fail every read, write or seek after a number of successes.
struct SpillRecord {
    std::vector<uint8_t> nameBytes;  // the name, its NUL and 4 more bytes
    int flags = 0;
    int mode = 0;
    uint32_t reads = 0;
    uint32_t writes = 0;
    int openHandles = 0;
};
DecoderFileCallbacks SpillFiles();
SpillRecord& LastSpill();
void FailSpillIoAfter(uint32_t operations);  // UINT32_MAX: never

struct DecodeRun {
    int result = DECODER_OK;  // first non-zero decode result, or 0
    size_t failedBlock = 0;
    std::vector<uint8_t> output;
};

class Decoder {
public:
    explicit Decoder(uint32_t windowBits, const DecoderFileCallbacks* files = nullptr, uint32_t bufferSize = 0);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    // One block of `wanted` bytes from exactly `bytes` (copied to an exactly
    // sized buffer, so that the sanitizer sees any read past them); *out gets
    // the output buffer, failed or not.
    int Decode(std::vector<uint8_t> bytes, uint32_t wanted, std::vector<uint8_t>* out = nullptr);
    DecodeRun DecodeAll(const std::vector<EncodedBlock>& blocks);

    int created = -1;
    void* handle = nullptr;
};

DecodeRun DecodeFolder(uint32_t windowBits, const std::vector<EncodedBlock>& blocks);

}  // namespace qtest

}  // namespace treepak
