// Helpers for the block-deflate decoder tests: a decoder with a folder's
// ring buffer, a bit writer for hand-made DEFLATE data, and a byte-by-byte
// model of the ring that back references read from.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr uint32_t kRingSize = 32768;
inline constexpr uint32_t kMaxCompressedBlock = kRingSize + 12;

// Counts live allocations so that tests can check that everything is freed.
void* CountingAlloc(uint32_t size);
void CountingFree(void* block);
int LiveAllocations();

// One decoder and the folder's uncompressed buffer of exactly kRingSize
// bytes, allocated without slack so that the sanitizer sees any access past
// it. Input blocks are copied into exactly-sized buffers for the same reason.
struct FolderDecoder {
    FolderDecoder();
    ~FolderDecoder();
    FolderDecoder(const FolderDecoder&) = delete;
    FolderDecoder& operator=(const FolderDecoder&) = delete;

    // Returns the decoder's result; *produced gets the size reported.
    int Decode(const std::vector<uint8_t>& block, uint32_t* produced, uint32_t room = kRingSize);

    void* handle = nullptr;
    std::vector<uint8_t> ring;
};

// DEFLATE bit packing: values least significant bit first, Huffman codes
// most significant bit first.
struct BitWriter {
    BitWriter() : bytes(2) {
        bytes[0] = 'C';  // the block prefix
        bytes[1] = 'K';
    }
    std::vector<uint8_t> bytes;
    uint64_t pending = 0;
    uint32_t pendingBits = 0;

    void Put(uint32_t value, uint32_t bits);
    void PutCode(uint32_t code, uint32_t length);
    void AlignToByte();
    std::vector<uint8_t> Finish();  // flushes the last partial byte
};

// Fixed-code block content.
void PutFixedLiteral(BitWriter& out, uint32_t symbol);  // 0..287, 256 ends the block
void PutFixedMatch(BitWriter& out, uint32_t length, uint32_t distance);
void PutFixedDistanceCode(BitWriter& out, uint32_t code);  // raw 5-bit code, 30/31 included

// Canonical code of each symbol for the given lengths (0 = unused).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// A dynamic block header for the given literal/length and distance code
// lengths (counts taken from the vectors' sizes), each length sent with a
// complete 4-bit code-length code for the symbols 0..15.
void PutDynamicHeader(BitWriter& out, bool final, const std::vector<uint8_t>& litLenLengths,
                      const std::vector<uint8_t>& distLengths);

// The ring of the previous block with this block's bytes written over it,
// one byte at a time: the plainest statement of what a match copies.
struct RingModel {
    std::vector<uint8_t> ring;
    uint32_t position = 0;
    void Literal(uint8_t byte) { ring[position++] = byte; }
    void Match(uint32_t length, uint32_t distance) {
        for (uint32_t i = 0; i < length; ++i, ++position)
            ring[position] = ring[(position + kRingSize - distance) % kRingSize];
    }
};
