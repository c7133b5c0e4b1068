// Bit writer of an LZX stream, for hand-made frames: 16-bit little-endian
// words, bits most significant first.
#pragma once

#include <cassert>
#include <cstdint>
#include <utility>
#include <vector>

namespace treepak {

namespace lzxtest {

class BitWriter {
public:
    void Put(uint32_t bits, uint32_t value) {  // bits 0..32
        for (uint32_t i = bits; i-- > 0;) {
            acc_ = (acc_ << 1) | ((value >> i) & 1);
            if (++count_ == 16) {
                out_.push_back(static_cast<uint8_t>(acc_));
                out_.push_back(static_cast<uint8_t>(acc_ >> 8));
                acc_ = count_ = 0;
            }
        }
    }
    // Pads with zero bits to the next word boundary: 0..15 bits, or with
    // `always` 1..16 bits (a full word when already aligned).
    void Align(bool always) {
        if (count_ != 0 || always) Put(16 - count_, 0);
    }
    void RawByte(uint8_t b) {
        assert(count_ == 0);
        out_.push_back(b);
    }
    std::vector<uint8_t> Take() { return std::move(out_); }
    size_t Size() const { return out_.size(); }

private:
    std::vector<uint8_t> out_;
    uint32_t acc_ = 0;    // pending bits
    uint32_t count_ = 0;  // pending bits
};

}  // namespace lzxtest

}  // namespace treepak
