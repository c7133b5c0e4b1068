// The benchmark's Quantum encoder. The arithmetic coder mirrors the decoder's:
// the same interval arithmetic on 16-bit low/high, the same renormalisation
// (emit the shared top bit, or defer a bit in the 0x4000 underflow case),
// and a final flush of two bits that leaves a code value inside the last
// interval. The decoder reads 16 code bits ahead of the interval, so raw
// extra bits are recorded with the code-bit position at which the decoder
// reads them and merged into the stream when the block ends.
#include "quantum_bench_encoder.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <utility>

#include "decompress/quantum/quantum_format.h"

namespace treepak {

namespace qbench {

using namespace quantum;

void EncoderModel::Init(uint32_t symbolCount) {
    cum.resize(symbolCount + 1);
    sym.resize(symbolCount + 1);
    for (uint32_t i = 0; i <= symbolCount; ++i) {
        cum[i] = symbolCount - i;
        sym[i] = i;
    }
    countdown = 4;
}

uint32_t EncoderModel::IndexOf(uint32_t symbol) const {
    for (uint32_t i = 0; i + 1 < sym.size(); ++i)
        if (sym[i] == symbol) return i;
    throw std::logic_error("symbol outside the model");
}

void EncoderModel::Update(uint32_t index) {
    const size_t n = sym.size() - 1;
    for (uint32_t i = 0; i <= index; ++i) cum[i] += 8;
    if (cum[0] <= 3800) return;
    if (--countdown != 0) {
        for (size_t i = n; i-- > 0;) {
            cum[i] >>= 1;
            if (cum[i] <= cum[i + 1]) cum[i] = cum[i + 1] + 1;
        }
        return;
    }
    countdown = 50;
    std::vector<uint32_t> freq(n);
    for (size_t i = 0; i < n; ++i) freq[i] = (cum[i] - cum[i + 1] + 1) >> 1;
    for (size_t i = 0; i + 1 < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (freq[j] > freq[i]) {
                std::swap(freq[i], freq[j]);
                std::swap(sym[i], sym[j]);
            }
    for (size_t i = n; i-- > 0;) cum[i] = freq[i] + cum[i + 1];
}

QuantumBenchEncoder::QuantumBenchEncoder(uint32_t windowBits) : windowBits_(windowBits) {
    selector_.Init(7);
    for (auto& model : literal_) model.Init(64);
    length_.Init(27);
    shortPosition_.Init(std::min(2 * windowBits_, 24u));
    mediumPosition_.Init(std::min(2 * windowBits_, 36u));
    longPosition_.Init(2 * windowBits_);
}

void QuantumBenchEncoder::EmitCodeBit(uint32_t bit) {
    codeBits_.push_back(static_cast<uint8_t>(bit));
    for (; pending_ > 0; --pending_) codeBits_.push_back(static_cast<uint8_t>(bit ^ 1));
}

void QuantumBenchEncoder::EncodeSymbol(EncoderModel& model, uint32_t symbol) {
    const uint32_t index = model.IndexOf(symbol);
    const uint32_t total = model.cum[0];
    const uint32_t range = high_ - low_ + 1;
    const uint32_t low = low_;
    high_ = (low + model.cum[index] * range / total - 1) & 0xFFFF;
    low_ = (low + model.cum[index + 1] * range / total) & 0xFFFF;
    for (;;) {
        if (((low_ ^ high_) & 0x8000) == 0) {
            EmitCodeBit(high_ >> 15);
        } else if ((low_ & 0x4000) && !(high_ & 0x4000)) {
            ++pending_;
            low_ &= 0x3FFF;
            high_ |= 0x4000;
        } else {
            break;
        }
        low_ = (low_ << 1) & 0xFFFF;
        high_ = ((high_ << 1) | 1) & 0xFFFF;
        ++shifts_;
    }
    model.Update(index);
}

void QuantumBenchEncoder::RawBits(uint32_t value, uint32_t count) {
    if (count > 0) raw_.push_back({16 + shifts_, value, count});
}

void QuantumBenchEncoder::EncodeSlot(EncoderModel& model, const uint32_t* bases, const uint8_t* extra,
                                    uint32_t value) {
    uint32_t slot = static_cast<uint32_t>(model.sym.size() - 1);
    while (slot > 0 && bases[slot - 1] > value) --slot;
    --slot;
    if (value - bases[slot] >= (1u << extra[slot])) throw std::logic_error("value beyond the model's slots");
    EncodeSymbol(model, slot);
    RawBits(value - bases[slot], extra[slot]);
}

void QuantumBenchEncoder::Literal(uint8_t byte) {
    EncodeSymbol(selector_, byte >> 6);
    EncodeSymbol(literal_[byte >> 6], byte & 63);
}

void QuantumBenchEncoder::Match(uint32_t length, uint32_t distance) {
    if (distance < 1 || distance > (1u << windowBits_)) throw std::logic_error("distance outside the window");
    EncoderModel* positions;
    if (length == 3) {
        EncodeSymbol(selector_, 4);
        positions = &shortPosition_;
    } else if (length == 4) {
        EncodeSymbol(selector_, 5);
        positions = &mediumPosition_;
    } else {
        if (length < 5 || length > 259) throw std::logic_error("match length out of range");
        EncodeSymbol(selector_, 6);
        EncodeSlot(length_, LENGTH_BASES.data(), LENGTH_EXTRA_BITS.data(), length - 5);
        positions = &longPosition_;
    }
    EncodeSlot(*positions, POSITION_BASES.data(), POSITION_EXTRA_BITS.data(), distance - 1);
}

std::vector<uint8_t> QuantumBenchEncoder::FinishBlock() {
    // Two more bits pin a value inside [low, high]: 01 when low is below the
    // second quarter (high is then at least half), else 10.
    ++pending_;
    EmitCodeBit((low_ & 0x4000) ? 1 : 0);
    // The decoder has read 16 code bits beyond the renormalisation shifts.
    const uint64_t codeBitsRead = 16 + shifts_;
    assert(codeBits_.size() <= codeBitsRead);
    codeBits_.resize(codeBitsRead, 0);

    std::vector<uint8_t> bytes;
    uint32_t accumulator = 0, filled = 0;
    auto put = [&](uint32_t bit) {
        accumulator = (accumulator << 1) | bit;
        if (++filled == 8) {
            bytes.push_back(static_cast<uint8_t>(accumulator));
            accumulator = filled = 0;
        }
    };
    size_t nextRaw = 0;
    for (uint64_t i = 0; i <= codeBitsRead; ++i) {
        for (; nextRaw < raw_.size() && raw_[nextRaw].afterCodeBits == i; ++nextRaw)
            for (uint32_t b = raw_[nextRaw].count; b-- > 0;) put((raw_[nextRaw].value >> b) & 1);
        if (i < codeBitsRead) put(codeBits_[i]);
    }
    assert(nextRaw == raw_.size());
    while (filled != 0) put(0);

    low_ = 0;
    high_ = 0xFFFF;
    pending_ = 0;
    shifts_ = 0;
    codeBits_.clear();
    raw_.clear();
    return bytes;
}

namespace {

struct MatchFinder {
    static constexpr uint32_t HASH_BITS = 16;
    static constexpr uint32_t MAX_CHAIN = 32;
    const std::vector<uint8_t>& data;
    std::vector<int64_t> head = std::vector<int64_t>(1u << HASH_BITS, -1);
    std::vector<int64_t> previous;

    explicit MatchFinder(const std::vector<uint8_t>& bytes) : data(bytes), previous(bytes.size(), -1) {}

    uint32_t Hash(size_t at) const {
        const uint32_t v = data[at] | (data[at + 1] << 8) | (data[at + 2] << 16);
        return (v * 2654435761u) >> (32 - HASH_BITS);
    }
    void Insert(size_t at) {
        if (at + 3 > data.size()) return;
        const uint32_t h = Hash(at);
        previous[at] = head[h];
        head[h] = static_cast<int64_t>(at);
    }
};

}  // namespace

std::vector<EncodedBlock> CompressQuantum(const std::vector<uint8_t>& data, uint32_t windowBits,
                                          uint32_t blockSize) {
    QuantumBenchEncoder encoder(windowBits);
    MatchFinder finder(data);
    const uint64_t window = uint64_t{1} << windowBits;
    const uint64_t shortLimit = std::min<uint64_t>(window, SHORT_POSITION_LIMIT);
    const uint64_t mediumLimit = std::min<uint64_t>(window, MEDIUM_POSITION_LIMIT);
    std::vector<EncodedBlock> blocks;
    for (size_t blockStart = 0; blockStart < data.size() || blocks.empty(); blockStart += blockSize) {
        const size_t blockEnd = std::min(data.size(), blockStart + blockSize);
        size_t at = blockStart;
        while (at < blockEnd) {
            uint32_t bestLength = 0, bestDistance = 0;
            if (at + 3 <= data.size()) {
                const size_t limit = std::min<size_t>(259, blockEnd - at);
                uint32_t chain = 0;
                for (int64_t candidate = finder.head[finder.Hash(at)];
                     candidate >= 0 && chain < MatchFinder::MAX_CHAIN; candidate = finder.previous[candidate], ++chain) {
                    const uint64_t distance = at - static_cast<size_t>(candidate);
                    if (distance > window) break;
                    uint32_t length = 0;
                    while (length < limit && data[candidate + length] == data[at + length]) ++length;
                    if (length == 4 && distance > mediumLimit) length = 3;
                    if (length == 3 && distance > shortLimit) length = 0;
                    if (length >= 3 && length > bestLength) {
                        bestLength = length;
                        bestDistance = static_cast<uint32_t>(distance);
                    }
                }
            }
            if (bestLength >= 3) {
                encoder.Match(bestLength, bestDistance);
                for (uint32_t i = 0; i < bestLength; ++i) finder.Insert(at + i);
                at += bestLength;
            } else {
                encoder.Literal(data[at]);
                finder.Insert(at);
                ++at;
            }
        }
        blocks.push_back({encoder.FinishBlock(), static_cast<uint32_t>(blockEnd - blockStart)});
        if (blockEnd == data.size()) break;
    }
    return blocks;
}

}  // namespace qbench

}  // namespace treepak
