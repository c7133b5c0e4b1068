// Priming: giving a handle the state that compressing a block would have
// left, without compressing it, so that a caller who already holds that
// block's output can go on with the next block.
//
// What a full block leaves for the next call is the block itself (in both
// window halves) and the hash tables after its positions were inserted.
// The matcher inserts every position of a block in order, starting at the
// block's first byte, except that it stops early at the block's end: the
// last two positions never go in, and when the final match ends within two
// bytes of the end, the positions it covers after its first one do not
// either. So the inserted positions are always a prefix of the block, and
// the prime token is that prefix's length. Entries older than the block do
// not matter: the next call's slide turns every position below the block
// into "no position". Chain entries of positions never inserted are never
// read, since chains are only entered from inserted positions. A block
// shorter than CAB_BLOCK_SIZE leaves no history at all.
#include <cstring>

#include "compress/compressor.h"
#include "compress/deflate/deflate_handle.h"
#include "compress/deflate/match_finder.h"

namespace treepak {

using namespace blockdeflate;

namespace {

uint32_t HashAt(const uint8_t* window, uint32_t p) {
    return UpdateHash(UpdateHash(UpdateHash(0, window[p]), window[p + 1]), window[p + 2]);
}

}  // namespace

int DeflatePrimeToken(void* handle, uint32_t lastInputSize, uint32_t* token) {
    DeflateHandle* h = CheckedHandle(handle);
    if (h == nullptr || token == nullptr || lastInputSize > h->blockSize) return COMPRESSOR_BAD_PARAMETER;
    *token = 0;
    if (lastInputSize < DEFLATE_MIN_MATCH) return COMPRESSOR_OK;
    // The block is at kHalfWindow after every call. The last inserted
    // position is the newest entry of its hash; later ones are in no table.
    for (uint32_t p = kHalfWindow + lastInputSize - DEFLATE_MIN_MATCH;; --p) {
        if (h->head[HashAt(h->window, p)] == p) {
            *token = p - kHalfWindow + 1;
            return COMPRESSOR_OK;
        }
        if (p == kHalfWindow) return COMPRESSOR_FAILED;  // the first position always goes in
    }
}

int DeflatePrime(void* handle, const uint8_t* input, uint32_t inputSize, uint32_t token) {
    DeflateHandle* h = CheckedHandle(handle);
    if (h == nullptr || (input == nullptr && inputSize != 0) || inputSize > h->blockSize) {
        return COMPRESSOR_BAD_PARAMETER;
    }
    if (inputSize != CAB_BLOCK_SIZE) {
        h->history = false;
        return COMPRESSOR_OK;
    }
    if (token > inputSize - (DEFLATE_MIN_MATCH - 1)) return COMPRESSOR_BAD_PARAMETER;
    std::memcpy(h->window, input, inputSize);
    std::memcpy(h->window + kHalfWindow, input, inputSize);
    std::memset(h->head, 0, kHashSize * sizeof(uint16_t));
    const uint32_t end = kHalfWindow + token;
    for (uint32_t p = kHalfWindow; p < end; ++p) {
        const uint32_t hash = HashAt(h->window, p);
        h->chain[p & kChainMask] = h->head[hash];
        h->head[hash] = static_cast<uint16_t>(p);
    }
    h->history = true;
    return COMPRESSOR_OK;
}

}  // namespace treepak
