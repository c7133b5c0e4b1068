// Test-only LZX encoder; see test_lzx_encoder.h. Code lengths and call
// translation are the compressor's own (tested against the decoder in
// tests/lzx_encoder). Matches always carry a new distance, so the repeated
// offsets the uncompressed block header stores are never read back.
#include "test_lzx_encoder.h"

#include <algorithm>
#include <cassert>
#include <numeric>
#include <stdexcept>

#include "cabinet/lzx_format.h"
#include "compress/lzx/lzx_encoder.h"

namespace lzxtest {

void BitWriter::Put(uint32_t bits, uint32_t value) {
    for (uint32_t i = bits; i-- > 0;) {
        acc_ = (acc_ << 1) | ((value >> i) & 1);
        if (++count_ == 16) {
            out_.push_back(static_cast<uint8_t>(acc_));
            out_.push_back(static_cast<uint8_t>(acc_ >> 8));
            acc_ = count_ = 0;
        }
    }
}

void BitWriter::Align(bool always) {
    if (count_ != 0)
        Put(16 - count_, 0);
    else if (always)
        Put(16, 0);
}

void BitWriter::RawByte(uint8_t b) {
    assert(count_ == 0);
    out_.push_back(b);
}

std::vector<uint8_t> BitWriter::Take() {
    std::vector<uint8_t> bytes;
    bytes.swap(out_);
    return bytes;
}

namespace {

struct Code {
    std::vector<uint8_t> lengths;
    std::vector<uint16_t> codes;
    Code(const std::vector<uint32_t>& freq, uint32_t maxLength) : lengths(freq.size()), codes(freq.size()) {
        static lzxenc::HuffmanScratch scratch;
        // The builder's node weights are 16-bit: scale the counts down until
        // their sum fits, keeping every used symbol.
        std::vector<uint32_t> scaled = freq;
        while (std::accumulate(scaled.begin(), scaled.end(), uint64_t{0}) > 65535)
            for (uint32_t& f : scaled) f = (f + 1) / 2;
        std::vector<uint16_t> counts(2 * freq.size(), 0);
        std::copy(scaled.begin(), scaled.end(), counts.begin());
        lzxenc::BuildCodeLengths(&scratch, static_cast<uint32_t>(freq.size()), counts.data(), lengths.data(),
                                 codes.data(), true);
        if (*std::max_element(lengths.begin(), lengths.end()) > maxLength) throw std::logic_error("code too long");
    }
    void Put(BitWriter& w, uint32_t symbol) const {
        assert(lengths[symbol] != 0);
        w.Put(lengths[symbol], codes[symbol]);
    }
};

struct TreeSymbol {
    uint32_t symbol;
    uint32_t extra;      // run field
    uint32_t delta = 0;  // second symbol of a 19 run
};

// One tree section: deltas against prev, with zero runs (17, 18) and equal
// runs (19) wherever at least four equal lengths follow.
void WriteTreeSection(BitWriter& w, const uint8_t* cur, const uint8_t* prev, uint32_t n) {
    std::vector<TreeSymbol> symbols;
    auto delta = [&](uint32_t i) { return (prev[i] + 17u - cur[i]) % 17u; };
    for (uint32_t i = 0; i < n;) {
        uint32_t r = 1;
        while (i + r < n && cur[i + r] == cur[i]) ++r;
        if (r >= 4 && cur[i] == 0) {
            const uint32_t run = std::min<uint32_t>(r, 51);
            symbols.push_back(run < 20 ? TreeSymbol{17, run - 4} : TreeSymbol{18, run - 20});
            i += run;
        } else if (r >= 4) {
            const uint32_t run = std::min<uint32_t>(r, 5);
            symbols.push_back({19, run - 4, delta(i)});
            i += run;
        } else {
            symbols.push_back({delta(i), 0});
            ++i;
        }
    }
    std::vector<uint32_t> freq(LZX_PRETREE_SYMBOLS, 0);
    for (const TreeSymbol& t : symbols) {
        ++freq[t.symbol];
        if (t.symbol == 19) ++freq[t.delta];
    }
    const Code pretree(freq, 15);
    for (uint32_t s = 0; s < LZX_PRETREE_SYMBOLS; ++s) w.Put(4, pretree.lengths[s]);
    for (const TreeSymbol& t : symbols) {
        pretree.Put(w, t.symbol);
        if (t.symbol == 17) w.Put(4, t.extra);
        if (t.symbol == 18) w.Put(5, t.extra);
        if (t.symbol == 19) {
            w.Put(1, t.extra);
            pretree.Put(w, t.delta);
        }
    }
}

uint32_t SlotOf(uint32_t formatted) {
    uint32_t s = 0;
    while (s + 1 < LZX_MAX_SLOTS && LzxSlotBase(s + 1) <= formatted) ++s;
    return s;
}

struct Item {
    uint32_t length;     // 0: literal
    uint8_t literal;
    uint32_t formatted;  // formatted offset of a match: distance + 2
};

class Encoder {
public:
    Encoder(const std::vector<uint8_t>& data, const EncodeOptions& o) : data_(data), o_(o) {
        mainSymbols_ = LzxMainSymbols(LzxSlotCount(o.windowSize));
        prevMain_.assign(mainSymbols_, 0);
        prevLength_.assign(LZX_LENGTH_SYMBOLS, 0);
        head_.assign(1u << kHashBits, -1);
        chain_.assign(data.size(), -1);
    }

    Frames Run() {
        w_.Put(1, o_.e8Size ? 1 : 0);
        if (o_.e8Size) w_.Put(32, o_.e8Size);
        std::vector<BlockPlan> blocks = o_.blocks;
        if (blocks.empty())
            for (size_t at = 0; at < data_.size(); at += 65536)
                blocks.push_back({LZX_BLOCK_VERBATIM, static_cast<uint32_t>(std::min<size_t>(65536, data_.size() - at))});
        for (const BlockPlan& b : blocks) {
            if (pos_ + b.size > data_.size()) throw std::invalid_argument("blocks exceed the data");
            w_.Put(3, b.type);
            w_.Put(24, b.size);
            if (b.type == LZX_BLOCK_UNCOMPRESSED)
                WriteUncompressed(b.size);
            else
                WriteCompressed(b.type, b.size);
        }
        if (pos_ != data_.size()) throw std::invalid_argument("blocks do not cover the data");
        if (w_.Pending() || w_.Size() > 0 || frameBytes_ > 0) FlushFrame();
        return std::move(frames_);
    }

private:
    void FlushFrame() {
        w_.Align(false);
        frames_.push_back({w_.Take(), frameBytes_});
        frameBytes_ = 0;
    }
    void Advance(uint32_t n) {
        pos_ += n;
        frameBytes_ += n;
        assert(frameBytes_ <= o_.frameSize);
        if (frameBytes_ == o_.frameSize) FlushFrame();
    }

    static constexpr uint32_t kHashBits = 20;
    uint32_t Key(size_t p) const {
        const uint32_t v = data_[p] | (data_[p + 1] << 8) | (data_[p + 2] << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    void Insert(size_t p) {
        if (p + 2 >= data_.size()) return;
        const uint32_t k = Key(p);
        chain_[p] = head_[k];
        head_[k] = static_cast<int64_t>(p);
    }

    // Greedy, longest of 48 candidates; no match crosses `limit`.
    Item NextItem(size_t p, uint32_t limit) {
        Item item{0, data_[p], 0};
        limit = std::min(limit, LZX_MAX_MATCH);
        if (limit < 3 || p + 2 >= data_.size()) return item;
        int64_t cand = head_[Key(p)];
        for (int depth = 0; cand >= 0 && depth < 48; ++depth, cand = chain_[cand]) {
            const size_t distance = p - static_cast<size_t>(cand);
            if (distance > o_.windowSize - 3) break;
            uint32_t len = 0;
            while (len < limit && data_[cand + len] == data_[p + len]) ++len;
            if (len >= 3 && len > item.length) item = {len, 0, static_cast<uint32_t>(distance + 2)};
        }
        return item;
    }

    std::vector<Item> ParseBlock(uint32_t size) {
        std::vector<Item> items;
        for (size_t p = pos_, end = pos_ + size; p < end;) {
            const size_t frameEnd = (p / o_.frameSize + 1) * o_.frameSize;
            const Item item = NextItem(p, static_cast<uint32_t>(std::min(end, frameEnd) - p));
            items.push_back(item);
            for (uint32_t i = 0; i < std::max(item.length, 1u); ++i) Insert(p++);
        }
        return items;
    }

    void WriteCompressed(uint32_t type, uint32_t size) {
        const std::vector<Item> items = ParseBlock(size);
        std::vector<uint32_t> mainFreq(mainSymbols_, 0), lengthFreq(LZX_LENGTH_SYMBOLS, 0),
            alignedFreq(LZX_ALIGNED_SYMBOLS, 0);
        for (const Item& it : items) {
            if (!it.length) {
                ++mainFreq[it.literal];
                continue;
            }
            const uint32_t slot = SlotOf(it.formatted), h = std::min(it.length - 2, 7u);
            ++mainFreq[256 + 8 * slot + h];
            if (h == 7) ++lengthFreq[it.length - 9];
            if (LzxFooterBits(slot) >= 3) ++alignedFreq[it.formatted & 7];
        }
        const Code main(mainFreq, 16), length(lengthFreq, 16), aligned(alignedFreq, 7);
        if (type == LZX_BLOCK_ALIGNED)
            for (uint32_t s = 0; s < LZX_ALIGNED_SYMBOLS; ++s) w_.Put(3, aligned.lengths[s]);
        WriteTreeSection(w_, main.lengths.data(), prevMain_.data(), 256);
        WriteTreeSection(w_, main.lengths.data() + 256, prevMain_.data() + 256, mainSymbols_ - 256);
        WriteTreeSection(w_, length.lengths.data(), prevLength_.data(), LZX_LENGTH_SYMBOLS);
        prevMain_ = main.lengths;
        prevLength_ = length.lengths;

        for (const Item& it : items) {
            if (!it.length) {
                main.Put(w_, it.literal);
                Advance(1);
                continue;
            }
            const uint32_t slot = SlotOf(it.formatted), h = std::min(it.length - 2, 7u);
            main.Put(w_, 256 + 8 * slot + h);
            if (h == 7) length.Put(w_, it.length - 9);
            const uint32_t bits = LzxFooterBits(slot), footer = it.formatted - LzxSlotBase(slot);
            if (type == LZX_BLOCK_ALIGNED && bits >= 3) {
                w_.Put(bits - 3, footer >> 3);
                aligned.Put(w_, footer & 7);
            } else {
                w_.Put(bits, footer);
            }
            Advance(it.length);
        }
    }

    void WriteUncompressed(uint32_t size) {
        for (uint32_t i = 0; i < size; ++i) Insert(pos_ + i);  // keep the match finder in step
        w_.Align(true);
        for (int i = 0; i < 12; ++i) w_.RawByte(i % 4 == 0 ? 1 : 0);  // R0, R1, R2 = 1
        for (uint32_t i = 0; i < size; ++i) {
            w_.RawByte(data_[pos_]);
            Advance(1);
        }
        if (size & 1) w_.RawByte(0);
    }

    const std::vector<uint8_t>& data_;
    const EncodeOptions& o_;
    BitWriter w_;
    Frames frames_;
    uint32_t frameBytes_ = 0, mainSymbols_ = 0;
    size_t pos_ = 0;
    std::vector<uint8_t> prevMain_, prevLength_;
    std::vector<int64_t> head_, chain_;
};

}  // namespace

Frames EncodeLzx(const std::vector<uint8_t>& input, const EncodeOptions& options) {
    std::vector<uint8_t> data = input;
    uint32_t offset = 0;
    for (size_t at = 0, frame = 0; options.e8Size && at < data.size() && frame < LZX_E8_MAX_FRAMES;
         at += options.frameSize, ++frame)
        lzxenc::TranslateE8(data.data() + at, static_cast<uint32_t>(std::min<size_t>(options.frameSize, data.size() - at)),
                            &offset, options.e8Size);
    return Encoder(data, options).Run();
}

}  // namespace lzxtest
