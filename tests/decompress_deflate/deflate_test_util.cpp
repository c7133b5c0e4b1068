#include "deflate_test_util.h"

#include <cstdlib>
#include <cstring>

#include "cabinet/deflate_format.h"
#include "decompress/decoder.h"

namespace {
int liveAllocations = 0;
}

void* CountingAlloc(uint32_t size) {
    ++liveAllocations;
    return std::malloc(size);
}
void CountingFree(void* block) {
    --liveAllocations;
    std::free(block);
}
int LiveAllocations() { return liveAllocations; }

FolderDecoder::FolderDecoder() : ring(kRingSize, 0) {
    uint32_t uncompressedSize = kRingSize;
    uint32_t compressedSize = 0;
    DdiCreate(&uncompressedSize, CountingAlloc, CountingFree, &compressedSize, &handle);
}

FolderDecoder::~FolderDecoder() {
    if (handle != nullptr) DdiDestroy(handle);
}

int FolderDecoder::Decode(const std::vector<uint8_t>& block, uint32_t* produced, uint32_t room) {
    // An exactly sized heap copy, so that reading past the block is caught.
    auto* exact = static_cast<uint8_t*>(std::malloc(block.empty() ? 1 : block.size()));
    if (!block.empty()) std::memcpy(exact, block.data(), block.size());
    *produced = room;
    const int result = DdiDecode(handle, exact, static_cast<uint32_t>(block.size()), ring.data(), produced);
    std::free(exact);
    return result;
}

void BitWriter::Put(uint32_t value, uint32_t bits) {
    pending |= static_cast<uint64_t>(value) << pendingBits;
    pendingBits += bits;
    while (pendingBits >= 8) {
        bytes.push_back(static_cast<uint8_t>(pending));
        pending >>= 8;
        pendingBits -= 8;
    }
}

void BitWriter::PutCode(uint32_t code, uint32_t length) {
    uint32_t reversed = 0;
    for (uint32_t i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    Put(reversed, length);
}

void BitWriter::AlignToByte() {
    if (pendingBits % 8 != 0) Put(0, 8 - pendingBits % 8);
}

std::vector<uint8_t> BitWriter::Finish() {
    AlignToByte();
    return bytes;
}

void PutFixedLiteral(BitWriter& out, uint32_t symbol) {
    if (symbol < 144) out.PutCode(0x30 + symbol, 8);
    else if (symbol < 256) out.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280) out.PutCode(symbol - 256, 7);
    else out.PutCode(0xC0 + symbol - 280, 8);
}

void PutFixedDistanceCode(BitWriter& out, uint32_t code) { out.PutCode(code, 5); }

void PutFixedMatch(BitWriter& out, uint32_t length, uint32_t distance) {
    uint32_t lengthCode = 28;
    while (kDeflateLengthBase[lengthCode] > length) --lengthCode;
    PutFixedLiteral(out, 257 + lengthCode);
    out.Put(length - kDeflateLengthBase[lengthCode], kDeflateLengthExtra[lengthCode]);
    uint32_t distCode = 29;
    while (kDeflateDistBase[distCode] > distance) --distCode;
    PutFixedDistanceCode(out, distCode);
    out.Put(distance - kDeflateDistBase[distCode], kDeflateDistExtra[distCode]);
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {};
    for (uint8_t length : lengths) ++count[length];
    count[0] = 0;
    uint32_t next[16] = {};
    for (uint32_t length = 1, code = 0; length < 16; ++length) {
        code = (code + count[length - 1]) << 1;
        next[length] = code;
    }
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol)
        if (lengths[symbol] != 0) codes[symbol] = next[lengths[symbol]]++;
    return codes;
}

void PutDynamicHeader(BitWriter& out, bool final, const std::vector<uint8_t>& litLenLengths,
                      const std::vector<uint8_t>& distLengths) {
    out.Put(final ? 1 : 0, 1);
    out.Put(DEFLATE_BLOCK_DYNAMIC, 2);
    out.Put(static_cast<uint32_t>(litLenLengths.size()) - 257, 5);
    out.Put(static_cast<uint32_t>(distLengths.size()) - 1, 5);
    out.Put(19 - 4, 4);
    // Symbols 0..15 get 4-bit codes (a complete code); 16..18 are unused.
    std::vector<uint8_t> codeLengthLengths(19, 0);
    for (uint32_t symbol = 0; symbol < 16; ++symbol) codeLengthLengths[symbol] = 4;
    for (uint32_t i = 0; i < 19; ++i) out.Put(codeLengthLengths[kDeflateCodeLengthOrder[i]], 3);
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengthLengths);
    for (uint8_t length : litLenLengths) out.PutCode(codes[length], 4);
    for (uint8_t length : distLengths) out.PutCode(codes[length], 4);
}
