// Adaptive frequency model of the Quantum decoder.
//
// A model of n symbols keeps n + 1 pairs (cumulative frequency, symbol).
// The cumulative frequencies strictly decrease along the pairs and the last
// one is 0, so pair i owns the interval [cum[i + 1], cum[i]) and cum[0] is the
// total. Decoding a symbol adds MODEL_INCREMENT to cum[0..i]; a total above
// MODEL_RESCALE_LIMIT rescales the model. The first model state gives every
// symbol frequency 1, symbol i at pair i.
#pragma once

#include <cstdint>

#include "decompress/quantum/quantum_format.h"

namespace treepak {

namespace quantum {

// Division by a model's total through a multiply: x / total equals
// (x * reciprocal) >> RECIPROCAL_SHIFT exactly for every x below 2^28 (the
// products cum * range, at most 3808 * 65536) when reciprocal is
// ceil(2^40 / total) with total below 2^12: the rounding error of the
// reciprocal, times x, stays below 2^40.
inline constexpr uint32_t RECIPROCAL_SHIFT = 40;
inline constexpr uint64_t ReciprocalOf(uint32_t total) {
    return ((uint64_t{1} << RECIPROCAL_SHIFT) + total - 1) / total;
}
inline constexpr uint32_t DivideByTotal(uint32_t x, uint64_t reciprocal) {
    return static_cast<uint32_t>((x * reciprocal) >> RECIPROCAL_SHIFT);
}
static_assert(MODEL_RESCALE_LIMIT + MODEL_INCREMENT < (1u << 12));

struct QuantumModel {
    uint32_t symbolCount;
    uint32_t reorderCountdown;
    uint64_t reciprocal;  // ReciprocalOf(cum[0])
    // Kept as two parallel arrays rather than pairs so that the search and
    // the update loops run over contiguous frequencies.
    // cum has room past the last pair, kept 0, for reads in chunks of 8.
    uint16_t cum[MAX_MODEL_SYMBOLS + 8];
    uint16_t sym[MAX_MODEL_SYMBOLS + 1];
};

void InitModel(QuantumModel* model, uint32_t symbolCount);

// Halves the frequencies, or on every reorder countdown expiry turns them
// into per-symbol frequencies, sorts the pairs by them and rebuilds the sums.
void RescaleModel(QuantumModel* model);

// Credits pair `index` (and so every cumulative sum above it) after it was
// decoded. Runs over all pairs with a mask so that the loop has a fixed
// count and vectorises; index is below the symbol count, at most 64.
inline void UpdateModel(QuantumModel* model, uint32_t index) {
    for (uint32_t i = 0; i < MAX_MODEL_SYMBOLS; ++i) {
        model->cum[i] = static_cast<uint16_t>(model->cum[i] + (i <= index ? MODEL_INCREMENT : 0));
    }
    if (model->cum[0] > MODEL_RESCALE_LIMIT) RescaleModel(model);
    model->reciprocal = ReciprocalOf(model->cum[0]);
}

}  // namespace quantum

}  // namespace treepak
