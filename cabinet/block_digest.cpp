// Each lane runs two accumulators over alternate 64-bit words (lane 1 with
// the words swapped), so four multiply chains run side by side. One step,
// acc = rotl((acc ^ word) * K, r), is a bijection of the word for a fixed
// accumulator: two inputs that differ in one word differ in that
// accumulator. The 0 to 15 trailing bytes are one zero-padded 16-byte step,
// and the length enters the finish, so padding cannot alias a longer input.
#include "cabinet/block_digest.h"

#include <cstring>

namespace treepak {

namespace {

constexpr uint64_t kMulA = 0x9E3779B97F4A7C15u;
constexpr uint64_t kMulB = 0xC2B2AE3D27D4EB4Fu;
constexpr int kRotA = 29;
constexpr int kRotB = 37;
// Second accumulator of each lane starts apart from the first.
constexpr uint64_t kSplitA = 0x85EBCA77C2B2AE63u;
constexpr uint64_t kSplitB = 0x27D4EB2F165667C5u;
constexpr uint64_t kLengthMul = 0x94D049BB133111EBu;
constexpr uint32_t kStep = 2 * sizeof(uint64_t);

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint64_t Rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Full avalanche of one 64-bit value.
uint64_t Finish64(uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDu;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53u;
    x ^= x >> 33;
    return x;
}

struct Lanes {
    uint64_t a0, a1, b0, b1;

    void Step(uint64_t w0, uint64_t w1) {
        a0 = Rotl((a0 ^ w0) * kMulA, kRotA);
        a1 = Rotl((a1 ^ w1) * kMulA, kRotA);
        b0 = Rotl((b0 ^ w1) * kMulB, kRotB);
        b1 = Rotl((b1 ^ w0) * kMulB, kRotB);
    }
};

}  // namespace

BlockDigest ChainBlockDigest(const BlockDigest& previous, const void* bytes, uint32_t size) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    Lanes s{previous.lane[0], previous.lane[0] ^ kSplitA, previous.lane[1], previous.lane[1] ^ kSplitB};
    uint32_t left = size;
    for (; left >= kStep; left -= kStep, p += kStep) s.Step(Load64(p), Load64(p + sizeof(uint64_t)));
    if (left != 0) {
        uint8_t tail[kStep] = {};
        std::memcpy(tail, p, left);
        s.Step(Load64(tail), Load64(tail + sizeof(uint64_t)));
    }
    const uint64_t length = static_cast<uint64_t>(size) * kLengthMul;
    BlockDigest next;
    next.lane[0] = Finish64(s.a0 ^ Finish64(s.a1 ^ length));
    next.lane[1] = Finish64(s.b0 ^ Finish64(s.b1 + length));
    return next;
}

}  // namespace treepak
