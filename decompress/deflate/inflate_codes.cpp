// The literal/length/distance loop in two speeds. The fast loop runs while
// the input holds two more words and the room holds the most one step can
// write (match copies included, which write whole words past the match), so
// it checks neither bounds nor refill source inside a step; the careful loop
// finishes the block's last bytes with every check and exact copies.
//
// Format facts relied on: a literal/length code is at most 15 bits with at
// most 5 extra bits, a distance code at most 15 bits with at most 13 extra
// bits; a match is at most 258 bytes; distances reach at most 32768 back.
#include "decompress/deflate/inflate_codes.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "decompress/deflate/match_copy.h"

namespace {

// A code with its extra bits.
constexpr uint32_t kLengthMaxBits =
    DEFLATE_MAX_CODE_BITS + *std::max_element(std::begin(kDeflateLengthExtra), std::end(kDeflateLengthExtra));
constexpr uint32_t kDistanceMaxBits =
    DEFLATE_MAX_CODE_BITS + *std::max_element(std::begin(kDeflateDistExtra), std::end(kDeflateDistExtra));

// Fast loop entry assumptions. Each step refills at most twice, and a refill
// reads one word at `next` and advances at most 7 bytes, so two words of
// input keep every load inside the input. A step writes at most
// kLiteralsPerStep literals, or fewer literals and one match with its
// copy's overrun.
constexpr uint32_t kFastInputBytes = 2 * kWordRefillBytes;
constexpr uint32_t kLiteralsPerStep = 3;
constexpr uint32_t kFastOutputRoom = kLiteralsPerStep + DEFLATE_MAX_MATCH + matchcopy::kCopyOverrunBytes;
// One refill covers three literal codes, or two literal codes and a length
// with its extra bits; the distance gets a refill of its own.
static_assert(kRefillMinBits >= kLiteralsPerStep * DEFLATE_MAX_CODE_BITS);
static_assert(kRefillMinBits >= (kLiteralsPerStep - 1) * DEFLATE_MAX_CODE_BITS + kLengthMaxBits);
static_assert(kRefillMinBits >= kDistanceMaxBits + kMaxRootBits);
static_assert(kRefillMinBits >= kLiteralsPerStep * DEFLATE_MAX_CODE_BITS + kMaxRootBits);

inline void Consume(BitReader& reader, uint32_t entry) { DropBits(reader, EntryConsume(entry)); }

// A length or distance with its extra bits, consumed.
inline uint32_t TakeValue(BitReader& reader, uint32_t entry) {
    const uint32_t value = EntryDecode(entry, reader.bits);
    Consume(reader, entry);
    return value;
}

// The distance code and its extra bits; false for an invalid code or a
// distance beyond the ring.
inline bool TakeDistance(BitReader& reader, const CodeTables& tables, uint32_t ringSize, uint32_t* distance) {
    const uint32_t entry = LookUpEntry(reader, tables.dist, tables.distRootBits);
    if (entry & kEntryExceptional) return false;
    *distance = TakeValue(reader, entry);
    return *distance <= ringSize;
}

// What ends the codes at a literal/length entry that is neither a literal
// nor a length: the end-of-block code, or an invalid one.
inline BlockEnd EndAt(BitReader& reader, uint32_t entry) {
    if (!(entry & kEntryEndOfBlock)) return BlockEnd::Error;
    Consume(reader, entry);
    return BlockEnd::EndOfBlock;
}

// Copies a match whose distance is at most the ring size, exactly.
inline void CopyExact(const InflateOutput& output, uint8_t* cursor, uint32_t distance, uint32_t length) {
    const uint32_t position = static_cast<uint32_t>(cursor - output.buffer);
    if (distance <= position) {
        matchcopy::CopyBehind(cursor, distance, length);
    } else {
        matchcopy::CopyFromPrevious(output.buffer, output.previous, position, distance, length, output.ringSize);
    }
}

// Returns OutputFull when it stops only because its entry assumptions no
// longer hold; the careful loop takes over from there.
BlockEnd DecodeFast(BitReader& reader, InflateOutput& output, const CodeTables& tables) {
    BitReader in = reader;
    uint8_t* cursor = output.cursor;
    uint8_t* const fastLimit = output.limit - kFastOutputRoom;
    const uint32_t* const litLen = tables.litLen;
    const uint64_t litLenMask = (uint64_t{1} << tables.litLenRootBits) - 1;
    BlockEnd end = BlockEnd::OutputFull;
    if (static_cast<size_t>(in.end - in.next) < kFastInputBytes) return end;
    // The next literal/length entry is looked up as soon as its bits are in
    // the buffer, so that the lookup overlaps the stores and copies before
    // it. Every step leaves at least root-width bits unconsumed for it, and
    // the refill at the top of a step leaves those low bits as they are.
    RefillWord(in);
    uint32_t entry = litLen[in.bits & litLenMask];
    while (cursor <= fastLimit && static_cast<size_t>(in.end - in.next) >= kFastInputBytes) {
        RefillWord(in);
        if (entry & kEntryLiteral) {
            Consume(in, entry);
            *cursor++ = static_cast<uint8_t>(EntryValue(entry));
            entry = litLen[in.bits & litLenMask];
            if (entry & kEntryLiteral) {
                Consume(in, entry);
                *cursor++ = static_cast<uint8_t>(EntryValue(entry));
                entry = litLen[in.bits & litLenMask];
                if (entry & kEntryLiteral) {
                    Consume(in, entry);
                    *cursor++ = static_cast<uint8_t>(EntryValue(entry));
                    entry = litLen[in.bits & litLenMask];
                    continue;
                }
            }
        }
        if (entry & kEntryExceptional) {
            if (entry & kEntrySubtable) {
                DropBits(in, tables.litLenRootBits);
                entry = litLen[EntryValue(entry) + PeekBits(in, EntryCodeBits(entry))];
                if (entry & kEntryLiteral) {
                    Consume(in, entry);
                    *cursor++ = static_cast<uint8_t>(EntryValue(entry));
                    entry = litLen[in.bits & litLenMask];
                    continue;
                }
            }
            if (entry & kEntryExceptional) {
                end = EndAt(in, entry);
                break;
            }
        }
        const uint32_t length = TakeValue(in, entry);

        RefillWord(in);
        uint32_t distance;
        if (!TakeDistance(in, tables, output.ringSize, &distance)) {
            end = BlockEnd::Error;
            break;
        }
        entry = litLen[in.bits & litLenMask];
        const uint32_t position = static_cast<uint32_t>(cursor - output.buffer);
        if (distance <= position) {
            matchcopy::CopyBehindFast(cursor, distance, length);
        } else {
            matchcopy::CopyFromPreviousFast(output.buffer, output.previous, position, distance, length,
                                            output.ringSize);
        }
        cursor += length;
    }
    reader = in;
    output.cursor = cursor;
    return end;
}

// Entry assumptions: none on the input beyond its own bytes (the reader
// loads a word while kWordRefillBytes remain and single bytes after that),
// and every write is bounded by the room left; a match is cut short where
// the room ends.
BlockEnd DecodeCareful(BitReader& reader, InflateOutput& output, const CodeTables& tables) {
    BitReader in = reader;
    uint8_t* cursor = output.cursor;
    uint8_t* const limit = output.limit;
    BlockEnd end;
    for (;;) {
        if (cursor == limit) {
            end = BlockEnd::OutputFull;
            break;
        }
        Refill(in);
        uint32_t entry = LookUpEntry(in, tables.litLen, tables.litLenRootBits);
        if (entry & kEntryLiteral) {
            Consume(in, entry);
            *cursor++ = static_cast<uint8_t>(EntryValue(entry));
            continue;
        }
        if (entry & kEntryExceptional) {
            end = EndAt(in, entry);
            break;
        }
        uint32_t length = TakeValue(in, entry);
        if (in.count < kDistanceMaxBits) Refill(in);
        uint32_t distance;
        if (!TakeDistance(in, tables, output.ringSize, &distance)) {
            end = BlockEnd::Error;
            break;
        }
        const uint32_t room = static_cast<uint32_t>(limit - cursor);
        if (length > room) length = room;
        CopyExact(output, cursor, distance, length);
        cursor += length;
    }
    reader = in;
    output.cursor = cursor;
    return end;
}

}  // namespace

BlockEnd DecodeCodes(BitReader& reader, InflateOutput& output, const CodeTables& tables) {
    if (output.limit - output.cursor > static_cast<ptrdiff_t>(kFastOutputRoom)) {
        const BlockEnd end = DecodeFast(reader, output, tables);
        if (end != BlockEnd::OutputFull) return end;
    }
    return DecodeCareful(reader, output, tables);
}
