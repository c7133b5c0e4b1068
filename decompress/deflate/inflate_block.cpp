// Block level of the DEFLATE decoder: block headers, stored blocks, the
// dynamic block's code-length code, and the literal/length/distance loop.
//
// Format facts relied on: a block header is a final bit and a 2-bit type
// (0 stored, 1 fixed code, 2 dynamic code, 3 reserved); a stored block is
// byte aligned with LEN and NLEN (its ones' complement) as little-endian
// 16-bit words; a dynamic block sends 257..286 literal/length and 1..30
// distance code lengths, run-length coded with a 19-symbol code whose own
// lengths are 3 bits each.
#include "decompress/deflate/inflate_block.h"

#include <cstring>

#include "cabinet/deflate_format.h"
#include "cabinet/tp_assert.h"
#include "decompress/deflate/bit_reader.h"
#include "decompress/deflate/inflate_codes.h"

namespace treepak {

namespace {

constexpr uint32_t kBlockFinalBits = 1;
constexpr uint32_t kBlockTypeBits = 2;

constexpr uint32_t kStoredHeaderBytes = 4;  // LEN, NLEN
constexpr uint32_t kStoredLengthMask = 0xFFFF;

constexpr uint32_t kLitLenCountBits = 5;
constexpr uint32_t kLitLenCountBase = 257;
constexpr uint32_t kMaxLitLenCodes = 286;
constexpr uint32_t kDistCountBits = 5;
constexpr uint32_t kDistCountBase = 1;
constexpr uint32_t kMaxDistCodes = 30;
constexpr uint32_t kCodeLengthCountBits = 4;
constexpr uint32_t kCodeLengthCountBase = 4;
constexpr uint32_t kCodeLengthLengthBits = 3;

// Code-length symbols 16..18 repeat: the previous length 3..6 times, zero
// 3..10 times, zero 11..138 times.
constexpr uint32_t kRepeatPrevious = 16;
constexpr uint32_t kRepeatZeroShort = 17;
constexpr uint32_t kRepeatPreviousBase = 3;
constexpr uint32_t kRepeatPreviousBits = 2;
constexpr uint32_t kRepeatZeroShortBase = 3;
constexpr uint32_t kRepeatZeroShortBits = 3;
constexpr uint32_t kRepeatZeroLongBase = 11;
constexpr uint32_t kRepeatZeroLongBits = 7;
// One code-length symbol with its extra bits.
constexpr uint32_t kCodeLengthSymbolMaxBits = DEFLATE_MAX_CODELEN_BITS + kRepeatZeroLongBits;

BlockEnd CopyStoredBlock(BitReader& reader, InflateOutput& output) {
    if (!AlignToByte(reader)) return BlockEnd::Error;
    if (static_cast<size_t>(reader.end - reader.next) < kStoredHeaderBytes) return BlockEnd::Error;
    const uint8_t* header = reader.next;
    const uint32_t length = header[0] | (header[1] << 8);
    const uint32_t complement = header[2] | (header[3] << 8);
    if ((length ^ kStoredLengthMask) != complement) return BlockEnd::Error;
    reader.next += kStoredHeaderBytes;

    const uint32_t room = static_cast<uint32_t>(output.limit - output.cursor);
    const uint32_t copied = length < room ? length : room;
    // A stored block never takes bytes the input does not have.
    if (copied > static_cast<size_t>(reader.end - reader.next)) return BlockEnd::Error;
    std::memcpy(output.cursor, reader.next, copied);
    reader.next += copied;
    output.cursor += copied;
    return copied == length ? BlockEnd::EndOfBlock : BlockEnd::OutputFull;
}

// Reads a dynamic block's code lengths and builds its two tables.
bool ReadDynamicTables(BitReader& reader, DeflateDecoderState& state) {
    Refill(reader);
    const uint32_t litLenCount = TakeBits(reader, kLitLenCountBits) + kLitLenCountBase;
    const uint32_t distCount = TakeBits(reader, kDistCountBits) + kDistCountBase;
    const uint32_t codeLengthCount = TakeBits(reader, kCodeLengthCountBits) + kCodeLengthCountBase;
    if (litLenCount > kMaxLitLenCodes || distCount > kMaxDistCodes) return false;

    uint8_t codeLengthLengths[DEFLATE_CODELEN_SYMBOLS] = {};
    for (uint32_t i = 0; i < codeLengthCount; ++i) {
        if (reader.count < kCodeLengthLengthBits) Refill(reader);
        codeLengthLengths[kDeflateCodeLengthOrder[i]] =
            static_cast<uint8_t>(TakeBits(reader, kCodeLengthLengthBits));
    }
    uint32_t* const codeLengthTable = state.tables.litLen;
    if (!BuildDecodeTable(Alphabet::CodeLength, codeLengthLengths, DEFLATE_CODELEN_SYMBOLS,
                          kCodeLengthRootBits, codeLengthTable, kLitLenTableCapacity))
        return false;

    uint8_t lengths[kMaxLitLenCodes + kMaxDistCodes];
    const uint32_t total = litLenCount + distCount;
    // The reader in locals while the lengths are read (the table builder's
    // calls would otherwise keep it in memory).
    BitReader in = reader;
    for (uint32_t i = 0; i < total;) {
        if (in.count < kCodeLengthSymbolMaxBits) Refill(in);
        // The code-length code is at most 7 bits: the root holds every code,
        // so no entry points at a subtable.
        static_assert(DEFLATE_MAX_CODELEN_BITS <= kCodeLengthRootBits);
        const uint32_t entry = codeLengthTable[PeekBits(in, kCodeLengthRootBits)];
        if (!(entry & kEntryLiteral)) return false;
        DropBits(in, EntryConsume(entry));
        const uint32_t symbol = EntryValue(entry);
        if (symbol < kRepeatPrevious) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t repeated = 0;
        uint32_t times;
        if (symbol == kRepeatPrevious) {
            if (i == 0) return false;
            repeated = lengths[i - 1];
            times = kRepeatPreviousBase + TakeBits(in, kRepeatPreviousBits);
        } else if (symbol == kRepeatZeroShort) {
            times = kRepeatZeroShortBase + TakeBits(in, kRepeatZeroShortBits);
        } else {
            times = kRepeatZeroLongBase + TakeBits(in, kRepeatZeroLongBits);
        }
        if (times > total - i) return false;
        std::memset(lengths + i, repeated, times);
        i += times;
    }
    reader = in;
    return BuildDecodeTable(Alphabet::LitLen, lengths, litLenCount, kLitLenRootBits, state.tables.litLen,
                            kLitLenTableCapacity) &&
           BuildDecodeTable(Alphabet::Distance, lengths + litLenCount, distCount, kDistRootBits,
                            state.tables.dist, kDistTableCapacity);
}

// Where the block is decoded in the window, with the ring in place right
// before it.
uint8_t* PlaceBlock(DeflateDecoderState& state, const uint8_t* buffer, uint32_t ringSize) {
    if (state.ringOf != buffer) {
        std::memcpy(state.window, buffer, ringSize);
        return state.window + ringSize;
    }
    if (state.blockStart + ringSize > kWindowBytes) {
        std::memmove(state.window, state.window + state.blockStart - ringSize, ringSize);
        return state.window + ringSize;
    }
    return state.window + state.blockStart;
}

}  // namespace

bool InflateDataBlock(DeflateDecoderState& state, const uint8_t* input, uint32_t inputSize,
                      uint8_t* buffer, uint32_t room, uint32_t ringSize, uint32_t* produced) {
    TP_ASSERT(room <= ringSize && ringSize <= DEFLATE_WINDOW_SIZE);
    uint8_t* const start = PlaceBlock(state, buffer, ringSize);
    BitReader reader;
    StartBitReader(reader, input, inputSize);
    InflateOutput output{start, start, start + room, ringSize};
    bool lastBlock = false;
    bool ok = true;
    while (ok && !lastBlock && output.cursor != output.limit) {
        Refill(reader);
        lastBlock = TakeBits(reader, kBlockFinalBits) != 0;
        BlockEnd end = BlockEnd::Error;
        switch (TakeBits(reader, kBlockTypeBits)) {
        case DEFLATE_BLOCK_STORED:
            end = CopyStoredBlock(reader, output);
            break;
        case DEFLATE_BLOCK_FIXED:
            end = DecodeCodes(reader, output, FixedDecodeTables());
            break;
        case DEFLATE_BLOCK_DYNAMIC:
            if (ReadDynamicTables(reader, state))
                end = DecodeCodes(reader, output, state.tables);
            break;
        default:
            break;
        }
        ok = end != BlockEnd::Error;
    }
    // The ring past the block keeps the previous block's bytes.
    const uint32_t end = static_cast<uint32_t>(output.cursor - start);
    std::memcpy(buffer, start, end);
    *produced = end;
    // A block that fills the ring leaves it as the window holds it, right
    // before the block's end; a shorter one leaves older bytes after it.
    state.ringOf = ok && end == ringSize ? buffer : nullptr;
    state.blockStart = static_cast<uint32_t>(output.cursor - state.window);
    return ok;
}

}  // namespace treepak
