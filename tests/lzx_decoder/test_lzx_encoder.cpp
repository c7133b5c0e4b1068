// Test-only LZX encoder; see test_lzx_encoder.h. Call translation is the
// compressor's own (tested against the decoder in tests/lzx_encoder).
#include "test_lzx_encoder.h"

#include <algorithm>
#include <cassert>
#include <queue>
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

// Plain Huffman code lengths, halving the counts until the longest code
// fits maxLength. No used symbol: all 0; one: it and a neighbour get 1.
std::vector<uint8_t> CodeLengths(std::vector<uint32_t> freq, uint32_t maxLength) {
    const size_t n = freq.size();
    std::vector<uint8_t> lengths(n, 0);
    std::vector<size_t> used;
    for (size_t s = 0; s < n; ++s)
        if (freq[s]) used.push_back(s);
    if (used.empty()) return lengths;
    if (used.size() == 1) {
        lengths[used[0]] = 1;
        lengths[used[0] == 0 ? 1 : 0] = 1;
        return lengths;
    }
    for (;;) {
        using Node = std::pair<uint64_t, uint32_t>;  // weight, node index
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
        std::vector<uint32_t> parent(2 * n, 0);
        for (size_t s : used) heap.push({freq[s], static_cast<uint32_t>(s)});
        uint32_t next = static_cast<uint32_t>(n);
        while (heap.size() > 1) {
            Node a = heap.top();
            heap.pop();
            Node b = heap.top();
            heap.pop();
            parent[a.second] = parent[b.second] = next;
            heap.push({a.first + b.first, next++});
        }
        const uint32_t root = next - 1;
        uint32_t longest = 0;
        for (size_t s : used) {
            uint32_t depth = 0;
            for (uint32_t x = static_cast<uint32_t>(s); x != root; x = parent[x]) ++depth;
            lengths[s] = static_cast<uint8_t>(std::min<uint32_t>(depth, 255));
            longest = std::max(longest, depth);
        }
        if (longest <= maxLength) return lengths;
        for (size_t s : used) freq[s] = (freq[s] + 1) / 2;
    }
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[LZX_MAX_CODE_LENGTH + 1] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    uint32_t next[LZX_MAX_CODE_LENGTH + 2] = {};
    for (uint32_t l = 1; l <= LZX_MAX_CODE_LENGTH; ++l) next[l + 1] = (next[l] + count[l]) << 1;
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

struct Code {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;
    void Build(const std::vector<uint32_t>& freq, uint32_t maxLength) {
        lengths = CodeLengths(freq, maxLength);
        codes = CanonicalCodes(lengths);
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
void WriteTreeSection(BitWriter& w, const uint8_t* cur, const uint8_t* prev, uint32_t n, bool runs) {
    std::vector<TreeSymbol> symbols;
    auto delta = [&](uint32_t i) { return (prev[i] + 17u - cur[i]) % 17u; };
    for (uint32_t i = 0; i < n;) {
        uint32_t r = 1;
        while (i + r < n && cur[i + r] == cur[i]) ++r;
        if (runs && r >= 4 && cur[i] == 0) {
            const uint32_t run = std::min<uint32_t>(r, 51);
            if (run < 20)
                symbols.push_back({17, run - 4});
            else
                symbols.push_back({18, run - 20});
            i += run;
        } else if (runs && r >= 4) {
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
    Code pretree;
    pretree.Build(freq, 15);
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
    uint32_t formatted;  // formatted offset of a match
};

class Encoder {
public:
    Encoder(const std::vector<uint8_t>& data, const EncodeOptions& o) : data_(data), o_(o) {
        slotCount_ = LzxSlotCount(o.windowSize);
        maxDistance_ = o.maxDistance ? o.maxDistance : o.windowSize - 3;
        prevMain_.assign(LzxMainSymbols(slotCount_), 0);
        prevLength_.assign(LZX_LENGTH_SYMBOLS, 0);
        head_.assign(1u << kHashBits, -1);
        chain_.assign(data.size(), -1);
        for (uint32_t s = 0; s < LZX_MAX_SLOTS; ++s) slotBase_[s] = LzxSlotBase(s);
    }

    std::vector<Frame> Run() {
        w_.Put(1, o_.e8Size ? 1 : 0);
        if (o_.e8Size) {
            w_.Put(16, o_.e8Size >> 16);
            w_.Put(16, o_.e8Size & 0xFFFF);
        }
        std::vector<BlockPlan> blocks = o_.blocks;
        if (blocks.empty())
            for (size_t at = 0; at < data_.size(); at += 65536)
                blocks.push_back({LZX_BLOCK_VERBATIM, static_cast<uint32_t>(std::min<size_t>(65536, data_.size() - at))});
        for (const BlockPlan& b : blocks) {
            if (pos_ + b.size > data_.size()) throw std::invalid_argument("blocks exceed the data");
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
    uint32_t MatchLength(size_t p, size_t src, uint32_t limit) const {
        uint32_t n = 0;
        while (n < limit && data_[src + n] == data_[p + n]) ++n;
        return n;
    }

    // Greedy: a repeated distance when it is as long as the best new one.
    Item NextItem(size_t p, uint32_t limit) {
        Item item{0, data_[p], 0};
        if (o_.literalsOnly || limit < LZX_MIN_MATCH) return item;
        limit = std::min(limit, LZX_MAX_MATCH);
        uint32_t bestLength = 0, bestDistance = 0;
        if (p + 2 < data_.size()) {
            int64_t cand = head_[Key(p)];
            for (int depth = 0; cand >= 0 && depth < 48; ++depth, cand = chain_[cand]) {
                const size_t distance = p - static_cast<size_t>(cand);
                if (distance > maxDistance_) break;
                const uint32_t len = MatchLength(p, cand, limit);
                if (len > bestLength) bestLength = len, bestDistance = static_cast<uint32_t>(distance);
            }
        }
        const uint32_t repeats[3] = {r_[0], r_[1], r_[2]};
        for (uint32_t i = 0; i < 3; ++i) {
            if (repeats[i] > p || repeats[i] > maxDistance_) continue;
            const uint32_t len = MatchLength(p, p - repeats[i], limit);
            if (len >= LZX_MIN_MATCH && len >= bestLength) {
                bestLength = len;
                bestDistance = repeats[i];
                break;
            }
        }
        if (bestLength < 3 && !(bestLength == 2 && (bestDistance == r_[0] || bestDistance == r_[1] || bestDistance == r_[2])))
            return item;
        item.length = bestLength;
        item.formatted = Formatted(bestDistance);
        return item;
    }
    uint32_t Formatted(uint32_t distance) {
        if (distance == r_[0]) return 0;
        if (distance == r_[1]) {
            std::swap(r_[0], r_[1]);
            return 1;
        }
        if (distance == r_[2]) {
            std::swap(r_[0], r_[2]);
            return 2;
        }
        r_[2] = r_[1];
        r_[1] = r_[0];
        r_[0] = distance;
        return distance + 2;
    }

    std::vector<Item> ParseBlock(uint32_t size) {
        std::vector<Item> items;
        size_t p = pos_;
        const size_t end = pos_ + size;
        while (p < end) {
            const size_t frameEnd = (p / o_.frameSize + 1) * o_.frameSize;
            const uint32_t limit = static_cast<uint32_t>(std::min(end, frameEnd) - p);
            Item item = NextItem(p, limit);
            items.push_back(item);
            const uint32_t n = item.length ? item.length : 1;
            for (uint32_t i = 0; i < n; ++i) Insert(p + i);
            p += n;
        }
        return items;
    }

    void WriteCompressed(uint32_t type, uint32_t size) {
        const std::vector<Item> items = ParseBlock(size);
        const uint32_t mainSymbols = LzxMainSymbols(slotCount_);
        std::vector<uint32_t> mainFreq(mainSymbols, 0), lengthFreq(LZX_LENGTH_SYMBOLS, 0),
            alignedFreq(LZX_ALIGNED_SYMBOLS, 0);
        for (const Item& it : items) {
            if (!it.length) {
                ++mainFreq[it.literal];
                continue;
            }
            const uint32_t slot = SlotOf(it.formatted);
            const uint32_t h = std::min(it.length - 2, 7u);
            ++mainFreq[256 + 8 * slot + h];
            if (h == 7) ++lengthFreq[it.length - 9];
            if (LzxFooterBits(slot) >= 3) ++alignedFreq[it.formatted & 7];
        }
        Code main, length, aligned;
        main.Build(mainFreq, 16);
        length.Build(lengthFreq, 16);
        aligned.Build(alignedFreq, 7);

        w_.Put(3, type);
        w_.Put(8, size >> 16);
        w_.Put(8, (size >> 8) & 0xFF);
        w_.Put(8, size & 0xFF);
        if (type == LZX_BLOCK_ALIGNED)
            for (uint32_t s = 0; s < LZX_ALIGNED_SYMBOLS; ++s) w_.Put(3, aligned.lengths[s]);
        WriteTreeSection(w_, main.lengths.data(), prevMain_.data(), 256, o_.treeRuns);
        WriteTreeSection(w_, main.lengths.data() + 256, prevMain_.data() + 256, mainSymbols - 256, o_.treeRuns);
        WriteTreeSection(w_, length.lengths.data(), prevLength_.data(), LZX_LENGTH_SYMBOLS, o_.treeRuns);
        prevMain_ = main.lengths;
        prevLength_ = length.lengths;

        for (const Item& it : items) {
            if (!it.length) {
                main.Put(w_, it.literal);
                Advance(1);
                continue;
            }
            const uint32_t slot = SlotOf(it.formatted);
            const uint32_t h = std::min(it.length - 2, 7u);
            if (o_.slotsUsed) {
                o_.slotsUsed->resize(LZX_MAX_SLOTS);
                ++(*o_.slotsUsed)[slot];
            }
            main.Put(w_, 256 + 8 * slot + h);
            if (h == 7) length.Put(w_, it.length - 9);
            const uint32_t bits = LzxFooterBits(slot);
            const uint32_t footer = it.formatted - slotBase_[slot];
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
        // Keep the match finder's tables in step with the data.
        for (uint32_t i = 0; i < size; ++i) Insert(pos_ + i);
        w_.Put(3, LZX_BLOCK_UNCOMPRESSED);
        w_.Put(8, size >> 16);
        w_.Put(8, (size >> 8) & 0xFF);
        w_.Put(8, size & 0xFF);
        w_.Align(true);
        for (uint32_t r : r_)
            for (int i = 0; i < 4; ++i) w_.RawByte(static_cast<uint8_t>(r >> (8 * i)));
        for (uint32_t i = 0; i < size; ++i) {
            w_.RawByte(data_[pos_]);
            Advance(1);
        }
        if (size & 1) w_.RawByte(0);
    }

    const std::vector<uint8_t>& data_;
    const EncodeOptions& o_;
    BitWriter w_;
    std::vector<Frame> frames_;
    uint32_t frameBytes_ = 0;
    size_t pos_ = 0;
    uint32_t slotCount_ = 0, maxDistance_ = 0;
    uint32_t r_[3] = {1, 1, 1};
    uint32_t slotBase_[LZX_MAX_SLOTS] = {};
    std::vector<uint8_t> prevMain_, prevLength_;
    std::vector<int64_t> head_, chain_;
};

}  // namespace

std::vector<Frame> EncodeLzx(const std::vector<uint8_t>& input, const EncodeOptions& options) {
    std::vector<uint8_t> data = input;
    if (options.e8Size) {
        uint32_t offset = 0;
        for (size_t at = 0, chunk = 0; at < data.size() && chunk < LZX_E8_MAX_FRAMES; at += options.frameSize, ++chunk)
            lzxenc::TranslateE8(data.data() + at, static_cast<uint32_t>(std::min<size_t>(options.frameSize, data.size() - at)),
                                &offset, options.e8Size);
    }
    return Encoder(data, options).Run();
}

}  // namespace lzxtest
