// The literal/length/distance loop in two speeds. The fast loop runs while
// the input holds kFastInputBytes more bytes and the room holds the most a
// step writes, so it checks neither the input nor the room inside a step;
// the careful loop finishes the block's last bytes with every check and
// exact copies.
//
// Format facts relied on: a literal/length code is at most 15 bits with at
// most 5 extra bits, a distance code at most 15 bits with at most 13 extra
// bits; a match is at most 258 bytes; distances reach at most 32768 back.
#include "decompress/deflate/inflate_codes.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "cabinet/tp_assert.h"
#include "decompress/deflate/match_copy.h"

namespace treepak {

namespace {

// A code with its extra bits.
constexpr uint32_t kLengthMaxBits =
    DEFLATE_MAX_CODE_BITS + *std::max_element(std::begin(kDeflateLengthExtra), std::end(kDeflateLengthExtra));
constexpr uint32_t kDistanceMaxBits =
    DEFLATE_MAX_CODE_BITS + *std::max_element(std::begin(kDeflateDistExtra), std::end(kDeflateDistExtra));

// ---------------------------------------------------------------------------
// The fast loop's bit budget. It keeps the reader in three locals: `bitbuf`,
// `bitsleft` and `inNext`. Its refill is branchless: it ORs the word at
// `inNext` in above the counted bits, advances by the whole bytes that fit
// below 64 bits and sets the count to 56..63. Only the low byte of
// `bitsleft` counts: an entry is consumed by subtracting the whole entry,
// whose low byte is the number of bits it takes (see inflate_tables.h), so
// the bits above the low byte are meaningless and the count is read as
// (uint8_t)bitsleft. After a refill, kConsumableBits bits are counted and all
// 64 bits of the buffer hold real input (the refill's word fills it to the
// top), so a table lookup may look kPreloadableBits deep from the refill
// without counting: the bits it sees are the input's next bits, and they
// stay in place when the next refill ORs more in above the count.
constexpr uint32_t kConsumableBits = kRefillMinBits;
constexpr uint32_t kPreloadableBits = 64;
// The literal/length root entries decode literals of at most the root width.
constexpr uint32_t kFastLiteralBits = kLitLenRootBits;
// Literals decoded one after another on one refill: the first, then up to
// kExtraLiterals more, after which the next entry is looked up and the
// buffer refilled. Any of them may instead be a length (from the root or a
// subtable) or a literal from a subtable.
constexpr uint32_t kExtraLiterals = kFastExtraLiterals;
constexpr uint32_t kLiteralsPerStep = 1 + kExtraLiterals;
// kExtraLiterals full literals (the first and all extra ones but the last)
// then a length and its extra bits, then the distance root lookup; or
// literals only, then the lookup of the next step's entry; or kExtraLiterals
// literals then a subtable literal and the next lookup.
static_assert(kConsumableBits >= kExtraLiterals * kFastLiteralBits + kLengthMaxBits);
static_assert(kPreloadableBits >= kExtraLiterals * kFastLiteralBits + kLengthMaxBits + kDistRootBits);
static_assert(kPreloadableBits >= kLiteralsPerStep * kFastLiteralBits + kLitLenRootBits);
static_assert(kPreloadableBits >= kExtraLiterals * kFastLiteralBits + DEFLATE_MAX_CODE_BITS + kLitLenRootBits);
// The distance is decoded after a refill of its own (a refill with no
// branch costs less than a mispredicted test of the count): the longest
// distance with its extra bits, then the lookup of the next step's entry.
static_assert(kConsumableBits >= kDistanceMaxBits + kLitLenRootBits);

// Fast loop entry assumptions, checked before every step:
//  - input: at least kFastInputBytes bytes from `inNext`. A step refills at
//    most kRefillsPerStep times (once after its literals, or before and after
//    its distance); a refill loads the word at `inNext` and advances at most
//    kWordRefillBytes - 1 bytes, so every load stays inside the input.
//  - output: the cursor is below the room's end. A step writes at most
//    kFastStepBytes: kLiteralsPerStep literals, or up to kExtraLiterals
//    literals and a match of at most DEFLATE_MAX_MATCH bytes, a match the
//    fast way (whole words, up to kCopyOverrunBytes past it); the window has
//    kFastSpillBytes of room past the end of any block. Running on to the
//    room's end, rather than stopping a step short of it, leaves the careful
//    loop only the input's last bytes.
//  - on entry to a step the buffer was refilled last (at least
//    kConsumableBits counted, all 64 bits real input) and `entry` is the
//    literal/length root entry for its low bits.
constexpr uint32_t kRefillsPerStep = 2;
constexpr uint32_t kFastInputBytes = (kRefillsPerStep - 1) * (kWordRefillBytes - 1) + kWordRefillBytes;
static_assert(kFastStepBytes >= kLiteralsPerStep);

constexpr uint64_t kLitLenRootMask = (uint64_t{1} << kLitLenRootBits) - 1;
constexpr uint64_t kDistRootMask = (uint64_t{1} << kDistRootBits) - 1;

inline void Consume(BitReader& reader, uint32_t entry) { DropBits(reader, EntryConsume(entry)); }

// A length or distance with its extra bits, consumed.
inline uint32_t TakeValue(BitReader& reader, uint32_t entry) {
    const uint32_t value = EntryDecode(entry, reader.bits);
    Consume(reader, entry);
    return value;
}

// The distance code and its extra bits; false for an invalid code or a
// distance beyond the ring.
inline bool TakeDistance(BitReader& reader, const DecodeTables& tables, uint32_t ringSize, uint32_t* distance) {
    const uint32_t entry = LookUpEntry(reader, tables.dist, kDistRootBits);
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

#define TREEPAK_ALWAYS_INLINE inline __attribute__((always_inline))
// The fast loop's function starts on a cache line, so that its branch
// targets fall the same way in the instruction fetch blocks whatever code
// the linker puts before it (measured: 3-4% between two placements of the
// same machine code).
#define TREEPAK_HOT_LOOP __attribute__((aligned(64)))

// TREEPAK_INFLATE_NO_BMI2 builds the baseline loop alone (for testing it on
// a machine with BMI2).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TREEPAK_INFLATE_NO_BMI2)
#define TREEPAK_INFLATE_BMI2 1
#endif

// The low `n` bits of `value`, where only the low byte of `n` counts (and
// is below 64): one BZHI where BMI2 is in use, which reads just that byte,
// so an entry can be passed as it is (the compilers do not pick BZHI for
// this expression by themselves).
template <bool kBmi2>
TREEPAK_ALWAYS_INLINE uint64_t LowBits(uint64_t value, uint32_t n) {
#ifdef TREEPAK_INFLATE_BMI2
    if constexpr (kBmi2) {
        uint64_t low;
        asm("bzhi %q2, %1, %0" : "=r"(low) : "r"(value), "r"(n) : "cc");
        return low;
    }
#endif
    return value & ((uint64_t{1} << static_cast<uint8_t>(n)) - 1);
}

// The fast loop's body, compiled once for the baseline instruction set and,
// on x86-64, once more for BMI2 (shifts by any register, BZHI), picked at
// run time. Returns OutputFull when it stops only because its entry
// assumptions no longer hold; the careful loop takes over from there. The
// cursor may end up past the room (see DecodeCodes).
template <bool kBmi2>
TREEPAK_ALWAYS_INLINE BlockEnd DecodeFastBody(BitReader& reader, InflateOutput& output, const DecodeTables& tables) {
    if (static_cast<size_t>(reader.end - reader.next) < kFastInputBytes || output.cursor >= output.limit)
        return BlockEnd::OutputFull;
    const uint32_t ringSize = output.ringSize;
    const uint8_t* const inFastEnd = reader.end - kFastInputBytes;
    uint8_t* const outFastEnd = output.limit - 1;
    const uint8_t* inNext = reader.next;
    uint64_t bitbuf = reader.bits;
    uint32_t bitsleft = reader.count;
    uint8_t* cursor = output.cursor;
    BlockEnd end = BlockEnd::OutputFull;

    auto refill = [&]() {
        uint64_t word;
        std::memcpy(&word, inNext, sizeof(word));
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        bitbuf |= word << static_cast<uint8_t>(bitsleft);
        inNext += (kWordRefillBytes - 1) - ((bitsleft >> 3) & (kWordRefillBytes - 1));
        bitsleft |= kRefillMinBits;
    };
    auto consume = [&](uint32_t entry) {
        TP_ASSERT(EntryConsume(entry) <= static_cast<uint8_t>(bitsleft));
        bitbuf >>= static_cast<uint8_t>(entry);
        bitsleft -= entry;
    };
    // The value of a length or distance entry plus its extra bits, from the
    // buffer as it was before the entry was consumed. Such an entry has no
    // flags, so its second byte is its code bits alone.
    auto decode = [](uint32_t entry, uint64_t before) {
        TP_ASSERT(static_cast<uint8_t>(entry >> kEntryCodeBitsShift) == EntryCodeBits(entry));
        const uint64_t taken = LowBits<kBmi2>(before, entry);
        return EntryValue(entry) + static_cast<uint32_t>(taken >> static_cast<uint8_t>(entry >> kEntryCodeBitsShift));
    };
    // The entry a subtable pointer leads to, its root bits consumed.
    auto subtableEntry = [&](const uint32_t* table, uint32_t pointer) {
        return table[EntryValue(pointer) + LowBits<kBmi2>(bitbuf, EntryCodeBits(pointer))];
    };

    refill();
    uint32_t entry = tables.litLen[bitbuf & kLitLenRootMask];
    while (inNext <= inFastEnd && cursor <= outFastEnd) {
        uint64_t before = bitbuf;
        consume(entry);
        if (entry & kEntryLiteral) {
            // The first literal, then up to kExtraLiterals more without a
            // refill between them.
            uint32_t literal = EntryValue(entry);
            bool literalsOnly = true;
#pragma GCC unroll 8
            for (uint32_t i = 0; i < kExtraLiterals; ++i) {
                entry = tables.litLen[bitbuf & kLitLenRootMask];
                before = bitbuf;
                consume(entry);
                *cursor++ = static_cast<uint8_t>(literal);
                if (!(entry & kEntryLiteral)) {
                    literalsOnly = false;
                    break;
                }
                literal = EntryValue(entry);
            }
            if (literalsOnly) {
                entry = tables.litLen[bitbuf & kLitLenRootMask];
                refill();
                *cursor++ = static_cast<uint8_t>(literal);
                continue;
            }
        }
        if (entry & kEntryExceptional) [[unlikely]] {
            // A subtable pointer (its root bits now consumed), the end of
            // the block, or an invalid code.
            if (!(entry & kEntrySubtable)) {
                end = (entry & kEntryEndOfBlock) ? BlockEnd::EndOfBlock : BlockEnd::Error;
                break;
            }
            entry = subtableEntry(tables.litLen, entry);
            before = bitbuf;
            consume(entry);
            if (entry & kEntryLiteral) {
                *cursor++ = static_cast<uint8_t>(EntryValue(entry));
                entry = tables.litLen[bitbuf & kLitLenRootMask];
                refill();
                continue;
            }
            if (entry & kEntryExceptional) [[unlikely]] {
                end = (entry & kEntryEndOfBlock) ? BlockEnd::EndOfBlock : BlockEnd::Error;
                break;
            }
        }
        // A length: its extra bits went with the entry.
        const uint32_t length = decode(entry, before);
        TP_ASSERT(length >= DEFLATE_MIN_MATCH && length <= DEFLATE_MAX_MATCH);

        entry = tables.dist[bitbuf & kDistRootMask];
        refill();
        if (entry & kEntryExceptional) [[unlikely]] {
            if (!(entry & kEntrySubtable)) {
                end = BlockEnd::Error;
                break;
            }
            consume(entry);
            entry = subtableEntry(tables.dist, entry);
            if (entry & kEntryExceptional) {
                end = BlockEnd::Error;
                break;
            }
        }
        before = bitbuf;
        consume(entry);
        const uint32_t distance = decode(entry, before);
        // The next step's entry, then its refill, before the copy: the
        // lookup's latency overlaps the copy.
        entry = tables.litLen[bitbuf & kLitLenRootMask];
        refill();

        if (distance > ringSize) [[unlikely]] {
            end = BlockEnd::Error;
            break;
        }
        matchcopy::CopyBehindFast(cursor, distance, length);
        cursor += length;
    }

    reader.next = inNext;
    reader.bits = bitbuf;
    reader.count = static_cast<uint8_t>(bitsleft);
    output.cursor = cursor;
    return end;
}

TREEPAK_HOT_LOOP BlockEnd DecodeFastBaseline(BitReader& reader, InflateOutput& output, const DecodeTables& tables) {
    return DecodeFastBody<false>(reader, output, tables);
}

#ifdef TREEPAK_INFLATE_BMI2
__attribute__((target("bmi2"))) TREEPAK_HOT_LOOP BlockEnd DecodeFastBmi2(BitReader& reader, InflateOutput& output,
                                                         const DecodeTables& tables) {
    return DecodeFastBody<true>(reader, output, tables);
}

bool HasBmi2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi2");
}
#endif

BlockEnd DecodeFast(BitReader& reader, InflateOutput& output, const DecodeTables& tables) {
#ifdef TREEPAK_INFLATE_BMI2
    static const bool bmi2 = HasBmi2();
    if (bmi2) return DecodeFastBmi2(reader, output, tables);
#endif
    return DecodeFastBaseline(reader, output, tables);
}

// Entry assumptions: none on the input beyond its own bytes (the reader
// loads a word while kWordRefillBytes remain and single bytes after that),
// and every write is bounded by the room left; a match is cut short where
// the room ends.
BlockEnd DecodeCareful(BitReader& reader, InflateOutput& output, const DecodeTables& tables) {
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
        uint32_t entry = LookUpEntry(in, tables.litLen, kLitLenRootBits);
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
        matchcopy::CopyBehind(cursor, distance, length);
        cursor += length;
    }
    reader = in;
    output.cursor = cursor;
    return end;
}

}  // namespace

BlockEnd DecodeCodes(BitReader& reader, InflateOutput& output, const DecodeTables& tables) {
    const BlockEnd end = DecodeFast(reader, output, tables);
    if (output.cursor >= output.limit) {
        // The room is used up. Every code the fast loop decoded from there on,
        // including an end of block or an error, started past the room, where
        // decoding stops; the bytes written there are not handed out.
        output.cursor = output.limit;
        return BlockEnd::OutputFull;
    }
    if (end != BlockEnd::OutputFull) return end;
    return DecodeCareful(reader, output, tables);
}

}  // namespace treepak
