// Decoding of one Quantum data block: the item loop over the selector,
// literal, length and position models, and the window writes.
//
// Each item is a selector symbol s: s < 4 is a literal 64 * s + (symbol of
// literal model s); 4 and 5 are matches of length 3 and 4 with a position
// slot from the short and medium position models; 6 is a match whose length
// is length base + extra bits + 5, with a slot from the long position model.
// A match distance is position base + extra bits + 1, at most the window
// size. The arithmetic decoder and bit reader restart with every block; the
// models, the window and the position counter carry over.
#include <cstring>

#include "cabinet/tp_assert.h"
#include "decompress/quantum/quantum_coder.h"
#include "decompress/quantum/quantum_decoder.h"

namespace treepak {

namespace quantum {
namespace {

struct MemoryWindow {
    uint8_t* bytes;
    uint32_t size;

    bool PutByte(uint32_t position, uint8_t byte) {
        bytes[position & (size - 1)] = byte;
        return true;
    }

    bool CopyMatch(uint32_t source, uint32_t position, uint32_t distance, uint32_t length, uint8_t* out) {
        const uint32_t mask = size - 1;
        position &= mask;
        if (source + length <= size && position + length <= size) {
            uint8_t* to = bytes + position;
            const uint8_t* from = bytes + source;
            if (distance >= length) {
                // No byte is both read and written, except each onto itself
                // when the distance is the whole window.
                std::memmove(to, from, length);
                std::memcpy(out, to, length);
            } else {
                // Overlap: bytes repeat as they are written.
                for (uint32_t i = 0; i < length; ++i) out[i] = to[i] = from[i];
            }
            return true;
        }
        for (uint32_t i = 0; i < length; ++i) {
            const uint8_t byte = bytes[source];
            bytes[position] = byte;
            out[i] = byte;
            source = (source + 1) & mask;
            position = (position + 1) & mask;
        }
        return true;
    }
};

struct SpillWindow {
    PagedWindow* paged;
    uint32_t mask;

    bool PutByte(uint32_t position, uint8_t byte) { return PagedPutByte(paged, position & mask, byte); }
    bool CopyMatch(uint32_t source, uint32_t position, uint32_t, uint32_t length, uint8_t* out) {
        return PagedCopyMatch(paged, source, position & mask, length, out);
    }
};

// Entry assumptions: none beyond the sizes given. The bit reader takes its
// last REFILL_WORD_BYTES of input a byte at a time, so it needs no input
// slack, and every write to `out` is counted against `wanted` first (a match
// longer than what is left fails before copying), so no output slack either.
template <class Window>
bool DecodeItems(QuantumDecoder* decoder, Window window, BitReader* bits, uint8_t* out, uint32_t wanted) {
    QuantumModels& models = decoder->models;
    const uint32_t mask = decoder->windowSize - 1;
    // Positions wrap with the mask, so the window is a power of two.
    TP_ASSERT(decoder->windowSize == uint32_t{1} << decoder->windowBits && (decoder->windowSize & mask) == 0);
    TP_ASSERT(out != nullptr || wanted == 0);
    ArithmeticDecoder coder;
    StartArithmetic(&coder, bits);

    uint32_t position = decoder->position;
    uint32_t left = wanted;
    bool matchOverflow = false;
    bool pagingError = false;
    while (left != 0 && !bits->exhausted) {
        const uint32_t selector = DecodeSymbol(&coder, bits, &models.selector);
        if (selector < LITERAL_MODEL_COUNT) {
            const uint32_t value = DecodeSymbol(&coder, bits, &models.literal[selector]);
            TP_ASSERT(value < LITERAL_SYMBOLS);
            const uint8_t byte = static_cast<uint8_t>(selector * LITERAL_SYMBOLS + value);
            *out++ = byte;
            --left;
            if (!window.PutByte(position++, byte)) {
                pagingError = true;
                break;
            }
            continue;
        }

        uint32_t length;
        QuantumModel* positionModel;
        if (selector == SELECT_SHORT_MATCH) {
            length = SHORT_MATCH_LENGTH;
            positionModel = &models.shortPosition;
        } else if (selector == SELECT_MEDIUM_MATCH) {
            length = MEDIUM_MATCH_LENGTH;
            positionModel = &models.mediumPosition;
        } else {
            TP_ASSERT(selector == SELECT_LONG_MATCH);
            const uint32_t slot = DecodeSymbol(&coder, bits, &models.length);
            TP_ASSERT(slot < LENGTH_SLOTS);
            length = LENGTH_BASES[slot] + ReadBits(bits, LENGTH_EXTRA_BITS[slot]) + LONG_MATCH_MIN_LENGTH;
            positionModel = &models.longPosition;
        }
        const uint32_t slot = DecodeSymbol(&coder, bits, positionModel);
        TP_ASSERT(slot < LongPositionSlots(decoder->windowBits));
        const uint32_t distance = POSITION_BASES[slot] + ReadBits(bits, POSITION_EXTRA_BITS[slot]) + 1;
        TP_ASSERT(distance <= decoder->windowSize);

        if (length > left) {
            matchOverflow = true;
            break;
        }
        left -= length;
        const uint32_t source = (position - distance) & mask;
        const bool copied = window.CopyMatch(source, position, distance, length, out);
        out += length;
        position += length;
        if (!copied) {
            pagingError = true;
            break;
        }
    }
    decoder->position = position;
    if (pagingError) decoder->pagingError = true;
    return !bits->exhausted && !matchOverflow && !pagingError;
}

}  // namespace

void InitModels(QuantumModels* models, uint32_t windowBits) {
    InitModel(&models->selector, SELECTOR_SYMBOLS);
    for (QuantumModel& literal : models->literal) InitModel(&literal, LITERAL_SYMBOLS);
    InitModel(&models->length, LENGTH_SLOTS);
    InitModel(&models->shortPosition, ShortPositionSlots(windowBits));
    InitModel(&models->mediumPosition, MediumPositionSlots(windowBits));
    InitModel(&models->longPosition, LongPositionSlots(windowBits));
}

bool DecodeQuantumBlock(QuantumDecoder* decoder, const uint8_t* compressed, uint32_t compressedSize, uint8_t* out,
                        uint32_t wanted) {
    // After a failed page fetch the window no longer holds what the stream
    // expects; every block fails until the next reset.
    if (decoder->pagingError) return false;
    BitReader bits;
    StartBits(&bits, compressed, compressedSize);
    if (decoder->window) return DecodeItems(decoder, MemoryWindow{decoder->window, decoder->windowSize}, &bits, out, wanted);
    return DecodeItems(decoder, SpillWindow{&decoder->paged, decoder->windowSize - 1}, &bits, out, wanted);
}

}  // namespace quantum

}  // namespace treepak
