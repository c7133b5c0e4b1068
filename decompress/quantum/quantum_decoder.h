// The Quantum decoder's handle ("QDIC") and its block decoding.
#pragma once

#include <cstdint>

#include "decompress/decoder.h"
#include "decompress/quantum/quantum_format.h"
#include "decompress/quantum/quantum_model.h"
#include "decompress/quantum/quantum_paged_window.h"

namespace treepak {

namespace quantum {

struct QuantumModels {
    QuantumModel selector;
    QuantumModel literal[LITERAL_MODEL_COUNT];
    QuantumModel length;
    QuantumModel shortPosition;
    QuantumModel mediumPosition;
    QuantumModel longPosition;
};

// Everything a Quantum decoder keeps lives in its handle, not in
// process-wide storage, so any number of decoders may be in use at once;
// each one behaves exactly as a single decoder of the process would.
struct QuantumDecoder {
    uint32_t tag;
    FEIAllocFn alloc;
    FEIFreeFn free;
    DecoderFileCallbacks files;
    uint32_t uncompressedBufferSize;
    uint32_t cpuType;  // kept, not used

    uint32_t windowBits;
    uint32_t windowSize;
    // Bytes produced since the last reset; the write position is this
    // counter masked with windowSize - 1.
    uint32_t position;
    uint8_t* window;  // the window in one piece, or null when paged
    PagedWindow paged;
    // A failed page fetch; stays set until the next reset.
    bool pagingError;
    QuantumModels models;
};

void InitModels(QuantumModels* models, uint32_t windowBits);

// Decodes exactly `wanted` bytes of one data block into `out`. False when a
// bit is read past `compressed + compressedSize`, a match is longer than the
// bytes still wanted, or a page fetch fails (now or earlier since reset);
// the bytes produced before the failure stay in `out`.
bool DecodeQuantumBlock(QuantumDecoder* decoder, const uint8_t* compressed, uint32_t compressedSize, uint8_t* out,
                        uint32_t wanted);

}  // namespace quantum

}  // namespace treepak
