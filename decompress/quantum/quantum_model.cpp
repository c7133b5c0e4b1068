// Initialisation and rescaling of the Quantum decoder's adaptive models.
// The reorder is an exchange sort that swaps pairs i and j (i < j) whenever
// j is strictly more frequent; it is not stable, and streams depend on the
// exact order it leaves, so it must stay exactly this sort.
#include "decompress/quantum/quantum_model.h"

#include <iterator>
#include <utility>

#include "cabinet/tp_assert.h"

namespace treepak {

namespace quantum {

void InitModel(QuantumModel* model, uint32_t symbolCount) {
    TP_ASSERT(symbolCount >= 1 && symbolCount <= MAX_MODEL_SYMBOLS);
    model->symbolCount = symbolCount;
    model->reorderCountdown = REORDER_FIRST_COUNTDOWN;
    for (uint32_t i = 0; i < std::size(model->cum); ++i) {
        model->cum[i] = static_cast<uint16_t>(i <= symbolCount ? symbolCount - i : 0);
    }
    for (uint32_t i = 0; i < std::size(model->sym); ++i) model->sym[i] = static_cast<uint16_t>(i);
    model->reciprocal = ReciprocalOf(symbolCount);
}

static void HalveFrequencies(QuantumModel* model) {
    uint16_t* cum = model->cum;
    for (uint32_t i = model->symbolCount; i-- > 0;) {
        cum[i] = static_cast<uint16_t>(cum[i] >> 1);
        // Keep every symbol's interval non-empty.
        if (cum[i] <= cum[i + 1]) cum[i] = static_cast<uint16_t>(cum[i + 1] + 1);
    }
}

static void ReorderByFrequency(QuantumModel* model) {
    const uint32_t n = model->symbolCount;
    uint16_t* cum = model->cum;
    uint16_t* sym = model->sym;
    // Ascending i reads cum[i + 1] before it is itself turned into a frequency.
    for (uint32_t i = 0; i < n; ++i) cum[i] = static_cast<uint16_t>((cum[i] - cum[i + 1] + 1) >> 1);
    for (uint32_t i = 0; i + 1 < n; ++i) {
        for (uint32_t j = i + 1; j < n; ++j) {
            if (cum[j] > cum[i]) {
                std::swap(cum[i], cum[j]);
                std::swap(sym[i], sym[j]);
            }
        }
    }
    for (uint32_t i = n; i-- > 0;) cum[i] = static_cast<uint16_t>(cum[i] + cum[i + 1]);
}

void RescaleModel(QuantumModel* model) {
    TP_ASSERT(model->reorderCountdown > 0);
    if (--model->reorderCountdown != 0) {
        HalveFrequencies(model);
    } else {
        model->reorderCountdown = REORDER_COUNTDOWN;
        ReorderByFrequency(model);
    }
    TP_ASSERT(model->cum[model->symbolCount] == 0);
}

}  // namespace quantum

}  // namespace treepak
