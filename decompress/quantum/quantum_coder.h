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

#include <bit>
#include <cstdint>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "decompress/quantum/quantum_format.h"
#include "decompress/quantum/quantum_model.h"

namespace treepak {

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
    TP_ASSERT(reader->count < BIT_BUFFER_BITS);
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
    TP_ASSERT(n <= MAX_BITS_PER_READ);
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

using U16x8 = uint16_t __attribute__((vector_size(16)));
inline constexpr uint32_t LANES = 8;

// Number of values above `threshold` in chunks * LANES values from `values`.
inline uint32_t CountAbove(const uint16_t* values, uint32_t chunks, uint16_t threshold) {
    U16x8 count = {};
    const U16x8 limit = {threshold, threshold, threshold, threshold, threshold, threshold, threshold, threshold};
    for (uint32_t c = 0; c < chunks; ++c) {
        U16x8 chunk;
        std::memcpy(&chunk, values + c * LANES, sizeof(chunk));
        count -= reinterpret_cast<U16x8>(chunk > limit);  // true lanes are all ones, that is -1
    }
    uint32_t total = 0;
    for (uint32_t lane = 0; lane < LANES; ++lane) total += count[lane];
    return total;
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
// the interval is at least 4 wide (low < high) and the renormalisation below
// shifts at most 14 times. The pair index is the count of cumulative
// frequencies above `target`, at most the symbol count whatever `target` is.
[[gnu::always_inline]] inline uint32_t DecodeSymbol(ArithmeticDecoder* coder, BitReader* reader, QuantumModel* model) {
    const uint16_t* cum = model->cum;
    const uint32_t total = cum[0];
    const uint32_t range = coder->high - coder->low + 1;
    const uint32_t target = ((coder->code - coder->low + 1) * total - 1) / range;
    TP_ASSERT(target < total);

    // The pair index is the count of cumulative frequencies above the target
    // in cum[1..]: they strictly decrease, and the pairs past the last hold
    // 0. Counted eight at a time over the chunks the model occupies.
    const uint32_t index = CountAbove(cum + 1, (model->symbolCount + LANES - 1) / LANES, static_cast<uint16_t>(target));
    const uint32_t symbol = model->sym[index];

    uint32_t low = coder->low;
    uint32_t high = (low + DivideByTotal(cum[index] * range, model->reciprocal) - 1) & CODER_MASK;
    low = (low + DivideByTotal(cum[index + 1] * range, model->reciprocal)) & CODER_MASK;
    // Renormalise without a loop. While the top bits of low and high agree
    // they are shifted out (k1 shifts). Then, while low is 01... and high
    // 10..., the underflow fold flips bit 14 of all three registers and
    // shifts (k2 times); a run of folds leaves bit 15 of each flipped and
    // every earlier flip shifted out. After a fold the top bits differ, so
    // plain shifts never follow folds. The shifts total at most 14, so the
    // flip of bit 15 never meets the new code bits.
    const uint32_t k1 = static_cast<uint32_t>(std::countl_zero(static_cast<uint16_t>(low ^ high)));
    low = (low << k1) & CODER_MASK;
    high = ((high << k1) | ((uint32_t{1} << k1) - 1)) & CODER_MASK;
    const uint32_t foldable = (low & ~high) & (CODER_TOP_BIT - 1);  // low 1 and high 0, below bit 15
    const uint32_t k2 = static_cast<uint32_t>(std::countl_one(static_cast<uint16_t>(foldable << 1)));
    const uint32_t flip = k2 ? CODER_TOP_BIT : 0;
    low = ((low << k2) & CODER_MASK) ^ flip;
    high = (((high << k2) | ((uint32_t{1} << k2) - 1)) & CODER_MASK) ^ flip;
    const uint32_t shifts = k1 + k2;
    TP_ASSERT(shifts < CODER_BITS);
    coder->low = low;
    coder->high = high;
    coder->code = (((coder->code << shifts) & CODER_MASK) ^ flip) | ReadBits(reader, shifts);

    UpdateModel(model, index);
    return symbol;
}

}  // namespace quantum

}  // namespace treepak
