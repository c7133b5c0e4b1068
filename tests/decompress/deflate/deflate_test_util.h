// Helpers for the block-deflate decoder tests: a decoder with a folder's
// ring buffer, a bit writer for hand-made DEFLATE data, and zlib's raw
// deflate as another writer would make a data block.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "cabinet/deflate_format.h"
#include "decompress/decoder.h"
#include "test_support.h"

namespace treepak {

inline constexpr uint32_t kRingSize = 32768;
inline constexpr uint32_t kMaxCompressedBlock = kRingSize + 12;

// One decoder and the folder's uncompressed buffer of exactly kRingSize
// bytes; inputs are copied to exactly sized blocks, so that the sanitizer
// sees any access past either.
struct FolderDecoder {
    void* handle = nullptr;
    std::vector<uint8_t> ring = std::vector<uint8_t>(kRingSize, 0);

    FolderDecoder() {
        uint32_t uncompressed = kRingSize, compressed = 0;
        DdiCreate(&uncompressed, testsupport::CountingAlloc, testsupport::CountingFree, &compressed, &handle);
    }
    ~FolderDecoder() { DdiDestroy(handle); }
    FolderDecoder(const FolderDecoder&) = delete;
    FolderDecoder& operator=(const FolderDecoder&) = delete;

    int Decode(const std::vector<uint8_t>& block, uint32_t* produced, uint32_t room = kRingSize) {
        auto* exact = static_cast<uint8_t*>(std::malloc(block.size() + 1));
        if (!block.empty()) std::memcpy(exact, block.data(), block.size());
        *produced = room;
        const int result = DdiDecode(handle, exact, static_cast<uint32_t>(block.size()), ring.data(), produced);
        std::free(exact);
        return result;
    }
};

// DEFLATE bit packing after the "CK" prefix: values least significant bit
// first, Huffman codes most significant bit first.
struct BitWriter {
    std::vector<uint8_t> bytes;
    uint64_t pending = 0;
    uint32_t pendingBits = 0;

    BitWriter() : bytes(2) {
        bytes[0] = 'C';
        bytes[1] = 'K';
    }
    void Put(uint32_t value, uint32_t bits) {
        pending |= static_cast<uint64_t>(value) << pendingBits;
        for (pendingBits += bits; pendingBits >= 8; pendingBits -= 8, pending >>= 8)
            bytes.push_back(static_cast<uint8_t>(pending));
    }
    void PutCode(uint32_t code, uint32_t length) {
        for (uint32_t i = length; i-- > 0;) Put((code >> i) & 1, 1);
    }
    void Header(bool final, uint32_t type) {
        Put(final ? 1 : 0, 1);
        Put(type, 2);
    }
    void AlignToByte() { Put(0, (8 - pendingBits % 8) % 8); }
    std::vector<uint8_t> Finish() {
        AlignToByte();
        return bytes;
    }
    // Fixed-code symbols: 0..287 (256 ends the block), raw distance codes.
    void FixedSymbol(uint32_t s) {
        if (s < 144) PutCode(0x30 + s, 8);
        else if (s < 256) PutCode(0x190 + s - 144, 9);
        else if (s < 280) PutCode(s - 256, 7);
        else PutCode(0xC0 + s - 280, 8);
    }
    void FixedMatch(uint32_t length, uint32_t distance) {
        uint32_t l = 28, d = 29;
        while (kDeflateLengthBase[l] > length) --l;
        while (kDeflateDistBase[d] > distance) --d;
        FixedSymbol(257 + l);
        Put(length - kDeflateLengthBase[l], kDeflateLengthExtra[l]);
        PutCode(d, 5);
        Put(distance - kDeflateDistBase[d], kDeflateDistExtra[d]);
    }
    void StoredHeader(bool final, uint32_t length, uint32_t complement) {
        Header(final, DEFLATE_BLOCK_STORED);
        AlignToByte();
        Put(length, 16);
        Put(complement, 16);
    }
};

inline std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {}, next[16] = {};
    for (uint8_t length : lengths) ++count[length];
    count[0] = 0;
    for (uint32_t length = 1, code = 0; length < 16; ++length) next[length] = code = (code + count[length - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
    return codes;
}

// A final dynamic block header sending the given code lengths (counts taken
// from the sizes), each with a complete 4-bit code-length code for 0..15.
inline void PutDynamicHeader(BitWriter& out, const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& dist) {
    out.Header(true, DEFLATE_BLOCK_DYNAMIC);
    out.Put(static_cast<uint32_t>(litLen.size()) - 257, 5);
    out.Put(static_cast<uint32_t>(dist.size()) - 1, 5);
    out.Put(19 - 4, 4);
    for (uint32_t i = 0; i < 19; ++i) out.Put(kDeflateCodeLengthOrder[i] < 16 ? 4 : 0, 3);
    for (const auto* lengths : {&litLen, &dist})
        for (uint8_t length : *lengths) out.PutCode(length, 4);  // 4-bit code of symbol n is n
}

// "CK" and one raw deflate stream of `data` made by zlib, optionally with
// the previous block as preset dictionary and a sync flush after the first
// third (several DEFLATE blocks and an empty stored one).
inline std::vector<uint8_t> ZlibBlock(const uint8_t* data, uint32_t size, int level, int strategy,
                                      const uint8_t* dictionary = nullptr, bool flushInside = false) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -15, 9, strategy);
    if (dictionary != nullptr) deflateSetDictionary(&stream, dictionary, kRingSize);
    std::vector<uint8_t> out(2 + deflateBound(&stream, size) + 64, 0);
    out[0] = 'C';
    out[1] = 'K';
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = flushInside ? size / 3 : size;
    if (flushInside) {
        deflate(&stream, Z_SYNC_FLUSH);
        stream.avail_in = size - size / 3;
    }
    deflate(&stream, Z_FINISH);
    out.resize(2 + stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace treepak
