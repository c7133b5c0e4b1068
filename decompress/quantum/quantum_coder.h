// Bit reader and 16-bit arithmetic decoder of the Quantum decoder.
//
// Bits are taken most significant first from each byte. A bit read past the
// end of the block's bytes reads as 0 and sets `exhausted`, which fails the
// block. The coder keeps `low`, `high` and `code` as 16-bit values with
// low <= code <= high; a symbol narrows [low, high] to its share of the
// model's total and renormalisation doubles the interval until its top bits
// differ, folding the middle half outwards (the 0x4000 underflow case) when
// low is in the second quarter and high in the third. Both start afresh with
// every data block.
#pragma once

#include <cassert>
#include <cstdint>

#include "decompress/quantum/quantum_format.h"
#include "decompress/quantum/quantum_model.h"

namespace quantum {

// Largest bit count read in one call: raw extra bits (at most 19), the first
// 16 bits of `code`, or one renormalisation's worth of code bits.
inline constexpr uint32_t MAX_BITS_PER_READ = 32;
// The word-at-a-time refill needs this many input bytes before the end; the
// last few bytes are taken one at a time, so no input slack is needed.
inline constexpr uint32_t REFILL_WORD_BYTES = 8;
inline constexpr uint32_t BIT_BUFFER_BITS = 64;

struct BitReader {
    const uint8_t* next;
    const uint8_t* end;
    uint64_t buffer;  // unread bits, first one in bit 63; bits past `count` are 0 or copies of later input
    uint32_t count;
    bool exhausted;
};

inline void StartBits(BitReader* reader, const uint8_t* data, uint32_t size) {
    reader->next = data;
    reader->end = data + size;
    reader->buffer = 0;
    reader->count = 0;
    reader->exhausted = false;
}

inline uint64_t LoadBe64(const uint8_t* p) {
    uint64_t word = 0;
    for (uint32_t i = 0; i < REFILL_WORD_BYTES; ++i) word = (word << 8) | p[i];
    return word;
}

// Tops the buffer up to at least 57 bits while input remains.
inline void RefillBits(BitReader* reader) {
    assert(reader->count < BIT_BUFFER_BITS);
    if (reader->end - reader->next >= static_cast<std::ptrdiff_t>(REFILL_WORD_BYTES)) {
        // Bits past the new count are the following input bits: a later
        // refill ORs the same values over them.
        reader->buffer |= LoadBe64(reader->next) >> reader->count;
        reader->next += (BIT_BUFFER_BITS - 1 - reader->count) >> 3;
        reader->count |= BIT_BUFFER_BITS - REFILL_WORD_BYTES;
    } else {
        while (reader->count <= BIT_BUFFER_BITS - REFILL_WORD_BYTES && reader->next < reader->end) {
            reader->buffer |= static_cast<uint64_t>(*reader->next++) << (BIT_BUFFER_BITS - REFILL_WORD_BYTES - reader->count);
            reader->count += 8;
        }
    }
}

// Reads `n` bits (0 <= n <= 32), the first read being the most significant.
inline uint32_t ReadBits(BitReader* reader, uint32_t n) {
    assert(n <= MAX_BITS_PER_READ);
    if (reader->count < n) {
        RefillBits(reader);
        if (reader->count < n) {
            // All input is in the buffer and the bits after it are 0.
            reader->exhausted = true;
            reader->count = n;
        }
    }
    // Two shifts so that n = 0 yields 0 without a 64-bit shift.
    const uint32_t value = static_cast<uint32_t>((reader->buffer >> 1) >> (BIT_BUFFER_BITS - 1 - n));
    reader->buffer <<= n;
    reader->count -= n;
    return value;
}

struct ArithmeticDecoder {
    uint32_t low;
    uint32_t high;
    uint32_t code;
};

inline void StartArithmetic(ArithmeticDecoder* coder, BitReader* reader) {
    coder->code = ReadBits(reader, CODER_BITS);
    coder->low = 0;
    coder->high = CODER_MASK;
}

// Decodes one symbol of `model` and updates the model.
//
// Invariants that keep this in bounds for any input: low <= code <= high;
// after renormalisation high - low + 1 > 0x4000 while a model's total never
// exceeds MODEL_RESCALE_LIMIT + MODEL_INCREMENT, so every symbol's share of
// the interval is at least 4 wide and the renormalisation below shifts at
// most 14 times. The search stops at the last pair, whose cumulative
// frequency is 0, whatever `target` is.
inline uint32_t DecodeSymbol(ArithmeticDecoder* coder, BitReader* reader, QuantumModel* model) {
    const uint16_t* cum = model->cum;
    const uint32_t total = cum[0];
    const uint32_t range = coder->high - coder->low + 1;
    const uint32_t target = ((coder->code - coder->low + 1) * total - 1) / range;
    assert(target < total);

    uint32_t index = 0;
    while (cum[index + 1] > target) ++index;
    const uint32_t symbol = model->sym[index];

    uint32_t low = coder->low;
    uint32_t high = (low + (cum[index] * range) / total - 1) & CODER_MASK;
    low = (low + (cum[index + 1] * range) / total) & CODER_MASK;
    uint32_t code = coder->code;

    // The new code bits are gathered after the loop: the underflow fold only
    // flips bit 14, which never reaches the (at most 14) bits shifted in.
    uint32_t shifts = 0;
    for (;;) {
        if ((low ^ high) & CODER_TOP_BIT) {
            if ((low & CODER_SECOND_BIT) && !(high & CODER_SECOND_BIT)) {
                code ^= CODER_SECOND_BIT;
                low &= CODER_SECOND_BIT - 1;
                high |= CODER_SECOND_BIT;
            } else {
                break;
            }
        }
        low = (low << 1) & CODER_MASK;
        high = ((high << 1) | 1) & CODER_MASK;
        code = (code << 1) & CODER_MASK;
        ++shifts;
    }
    assert(shifts < CODER_BITS);
    coder->low = low;
    coder->high = high;
    coder->code = code | ReadBits(reader, shifts);

    UpdateModel(model, index);
    return symbol;
}

}  // namespace quantum
