// Quantum data format facts shared by the decoder (and by the test encoder
// that produces streams for it).
//
// A Quantum stream is LZ77 coded with nine adaptive frequency models and a
// 16-bit arithmetic coder. Each item starts with a selector symbol: 0..3 pick
// one of four literal models (64 byte values each), 4 is a match of length 3,
// 5 a match of length 4, 6 a longer match whose length comes from a length
// slot. Match distances come from position slots; slots carry raw extra bits
// read straight from the bit stream, most significant first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace treepak {

namespace quantum {

inline constexpr uint32_t MIN_WINDOW_BITS = 10;
inline constexpr uint32_t MAX_WINDOW_BITS = 21;

// Selector symbols.
inline constexpr uint32_t SELECTOR_SYMBOLS = 7;
inline constexpr uint32_t LITERAL_MODEL_COUNT = 4;
inline constexpr uint32_t SELECT_SHORT_MATCH = 4;   // length 3, short positions
inline constexpr uint32_t SELECT_MEDIUM_MATCH = 5;  // length 4, medium positions
inline constexpr uint32_t SELECT_LONG_MATCH = 6;    // length slot, long positions

inline constexpr uint32_t LITERAL_SYMBOLS = 64;  // each literal model covers 64 byte values
inline constexpr uint32_t SHORT_MATCH_LENGTH = 3;
inline constexpr uint32_t MEDIUM_MATCH_LENGTH = 4;
inline constexpr uint32_t LONG_MATCH_MIN_LENGTH = 5;  // added to a length slot's value

inline constexpr uint32_t LENGTH_SLOTS = 27;
inline constexpr uint32_t POSITION_SLOTS = 42;
// Position-slot bases limiting the short (length 3) and medium (length 4)
// position models; a window smaller than the limit limits them further.
inline constexpr uint32_t SHORT_POSITION_LIMIT = 4096;
inline constexpr uint32_t MEDIUM_POSITION_LIMIT = 262144;
inline constexpr uint32_t SHORT_POSITION_MAX_SLOTS = 24;
inline constexpr uint32_t MEDIUM_POSITION_MAX_SLOTS = 36;

// Model arithmetic: each decoded symbol adds this to its frequency; a model
// whose total goes above the limit is rescaled: the first rescales only halve
// the frequencies, the fourth (and from then on every fiftieth) also reorders
// the symbols by frequency.
inline constexpr uint32_t MODEL_INCREMENT = 8;
inline constexpr uint32_t MODEL_RESCALE_LIMIT = 3800;
inline constexpr uint32_t REORDER_FIRST_COUNTDOWN = 4;
inline constexpr uint32_t REORDER_COUNTDOWN = 50;
// The largest symbol count of any model (the literal models).
inline constexpr uint32_t MAX_MODEL_SYMBOLS = 64;

// 16-bit coder registers.
inline constexpr uint32_t CODER_BITS = 16;
inline constexpr uint32_t CODER_MASK = 0xFFFF;
inline constexpr uint32_t CODER_TOP_BIT = 0x8000;
inline constexpr uint32_t CODER_SECOND_BIT = 0x4000;

inline constexpr std::array<uint8_t, LENGTH_SLOTS> LENGTH_EXTRA_BITS = {
    0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Four slots without extra bits, then each of 1..19 extra bits twice.
inline constexpr std::array<uint8_t, POSITION_SLOTS> POSITION_EXTRA_BITS = [] {
    std::array<uint8_t, POSITION_SLOTS> extra{};
    for (uint32_t slot = 4; slot < POSITION_SLOTS; ++slot) extra[slot] = static_cast<uint8_t>((slot - 2) / 2);
    return extra;
}();

// base[0] = 0, base[i + 1] = base[i] + 2^extra[i].
template <std::size_t N>
constexpr std::array<uint32_t, N> SlotBases(const std::array<uint8_t, N>& extra) {
    std::array<uint32_t, N> base{};
    for (std::size_t i = 0; i + 1 < N; ++i) base[i + 1] = base[i] + (uint32_t{1} << extra[i]);
    return base;
}
inline constexpr std::array<uint32_t, LENGTH_SLOTS> LENGTH_BASES = SlotBases(LENGTH_EXTRA_BITS);
inline constexpr std::array<uint32_t, POSITION_SLOTS> POSITION_BASES = SlotBases(POSITION_EXTRA_BITS);

static_assert(LENGTH_BASES[LENGTH_SLOTS - 1] == 254);
static_assert(POSITION_BASES[SHORT_POSITION_MAX_SLOTS] == SHORT_POSITION_LIMIT);
static_assert(POSITION_BASES[MEDIUM_POSITION_MAX_SLOTS] == MEDIUM_POSITION_LIMIT);
static_assert(POSITION_BASES[POSITION_SLOTS - 1] == 1572864);

// Position slots of each model for a window of 2^bits bytes: the slots
// whose base lies below the window size (two per bit), capped for the short
// and medium models.
constexpr uint32_t LongPositionSlots(uint32_t windowBits) { return 2 * windowBits; }
constexpr uint32_t MediumPositionSlots(uint32_t windowBits) {
    return 2 * windowBits < MEDIUM_POSITION_MAX_SLOTS ? 2 * windowBits : MEDIUM_POSITION_MAX_SLOTS;
}
constexpr uint32_t ShortPositionSlots(uint32_t windowBits) {
    return 2 * windowBits < SHORT_POSITION_MAX_SLOTS ? 2 * windowBits : SHORT_POSITION_MAX_SLOTS;
}

}  // namespace quantum

}  // namespace treepak
