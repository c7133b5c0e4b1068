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

namespace quantum {

struct QuantumModel {
    uint32_t symbolCount;
    uint32_t reorderCountdown;
    // Kept as two parallel arrays rather than pairs so that the search and
    // the update loops run over contiguous frequencies.
    uint16_t cum[MAX_MODEL_SYMBOLS + 1];
    uint16_t sym[MAX_MODEL_SYMBOLS + 1];
};

void InitModel(QuantumModel* model, uint32_t symbolCount);

// Halves the frequencies, or on every reorder countdown expiry turns them
// into per-symbol frequencies, sorts the pairs by them and rebuilds the sums.
void RescaleModel(QuantumModel* model);

// Credits pair `index` (and so every cumulative sum above it) after it was
// decoded.
inline void UpdateModel(QuantumModel* model, uint32_t index) {
    for (uint32_t i = 0; i <= index; ++i) model->cum[i] = static_cast<uint16_t>(model->cum[i] + MODEL_INCREMENT);
    if (model->cum[0] > MODEL_RESCALE_LIMIT) RescaleModel(model);
}

}  // namespace quantum
