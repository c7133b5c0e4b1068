// A small Quantum encoder for the decoding benchmark: the exact inverse of
// the decoder's adaptive models and arithmetic coding, with a greedy parse,
// so that the benchmark can make megabytes of streams from real data.
// Nothing in the product writes Quantum data.
#pragma once

#include <cstdint>
#include <vector>

namespace treepak {

namespace qbench {

// One adaptive model, kept as in the decoder: n + 1 (cumulative frequency,
// symbol) pairs with strictly decreasing sums ending in 0.
struct EncoderModel {
    std::vector<uint32_t> cum;
    std::vector<uint32_t> sym;
    uint32_t countdown = 0;

    void Init(uint32_t symbolCount);
    uint32_t IndexOf(uint32_t symbol) const;
    void Update(uint32_t index);
};

struct EncodedBlock {
    std::vector<uint8_t> bytes;
    uint32_t uncompressedSize = 0;
};

class QuantumBenchEncoder {
public:
    explicit QuantumBenchEncoder(uint32_t windowBits);
    void Literal(uint8_t byte);
    // Length 3 needs distance <= min(4096, window), length 4 distance <=
    // min(262144, window), lengths 5..259 any distance up to the window size.
    void Match(uint32_t length, uint32_t distance);
    // Ends the data block: flushes the arithmetic coder so the decoder can
    // read exactly the bits it needs, merges the raw extra bits in where the
    // decoder reads them and pads to a whole byte. The coder restarts; the
    // models carry over.
    std::vector<uint8_t> FinishBlock();

private:
    struct RawInsert {
        uint64_t afterCodeBits;  // code bits the decoder has read before these
        uint32_t value;
        uint32_t count;
    };

    void EncodeSymbol(EncoderModel& model, uint32_t symbol);
    void EmitCodeBit(uint32_t bit);
    void RawBits(uint32_t value, uint32_t count);
    void EncodeSlot(EncoderModel& model, const uint32_t* bases, const uint8_t* extra, uint32_t value);

    uint32_t windowBits_;
    EncoderModel selector_, literal_[4], length_, shortPosition_, mediumPosition_, longPosition_;
    uint32_t low_ = 0, high_ = 0xFFFF, pending_ = 0;
    uint64_t shifts_ = 0;           // renormalisation shifts in this block
    std::vector<uint8_t> codeBits_;  // arithmetic code bits, one per entry
    std::vector<RawInsert> raw_;
};

// Greedy LZ77 parse of `data` into data blocks of at most `blockSize` bytes
// (matches never cross a block), encoded with one encoder, as one folder.
std::vector<EncodedBlock> CompressQuantum(const std::vector<uint8_t>& data, uint32_t windowBits,
                                          uint32_t blockSize = 32768);

}  // namespace qbench

}  // namespace treepak
