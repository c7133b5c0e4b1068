// The literal/length/distance loop of a fixed or dynamic DEFLATE block,
// writing into the decoder's window after the history.
#pragma once

#include <cstdint>

#include "decompress/deflate/bit_reader.h"
#include "decompress/deflate/inflate_tables.h"
#include "decompress/deflate/match_copy.h"

namespace treepak {

// The block is written from `start`; the `ringSize` bytes before it are
// the history, so a distance up to ringSize reaches a byte of the ring.
struct InflateOutput {
    uint8_t* start;
    uint8_t* cursor;
    uint8_t* limit;  // end of the room for this data block
    uint32_t ringSize;
};

enum class BlockEnd { EndOfBlock, OutputFull, Error };

// The fast loop decodes a step while the room is not used up, so it writes
// past the room: at most kFastExtraLiterals literals and a longest match from
// a step that starts on the room's last byte, plus the fast copy's overrun.
// The output needs this much writable space past `limit`; nothing written
// there is handed out.
inline constexpr uint32_t kFastExtraLiterals = 3;
inline constexpr uint32_t kFastStepBytes = kFastExtraLiterals + DEFLATE_MAX_MATCH;
inline constexpr uint32_t kFastSpillBytes = kFastStepBytes + matchcopy::kCopyOverrunBytes;

// Looks up the entry for the next code without consuming it; a subtable
// pointer consumes the root bits and the subtable entry is returned.
inline uint32_t LookUpEntry(BitReader& reader, const uint32_t* table, uint32_t rootBits) {
    uint32_t entry = table[PeekBits(reader, rootBits)];
    if (entry & kEntrySubtable) {
        DropBits(reader, rootBits);
        entry = table[EntryValue(entry) + PeekBits(reader, EntryCodeBits(entry))];
    }
    return entry;
}

// Decodes codes until the end-of-block code, until the room is used up, or
// until an error (an invalid code, or a distance beyond the ring).
BlockEnd DecodeCodes(BitReader& reader, InflateOutput& output, const DecodeTables& tables);

}  // namespace treepak
