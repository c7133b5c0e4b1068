#include "stream_parser.h"

#include <stdexcept>

#include "cabinet/deflate_format.h"

namespace deflatetest {

namespace {

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Bits(uint32_t count) {
        uint32_t value = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (pos_ / 8 >= size_) throw ParseError("stream ends early");
            value |= ((data_[pos_ / 8] >> (pos_ % 8)) & 1u) << i;
            ++pos_;
        }
        return value;
    }
    void Align() { pos_ = (pos_ + 7) / 8 * 8; }
    size_t BytePos() const { return pos_ / 8; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Canonical code, decoded bit by bit from the count of codes per length.
class Code {
public:
    explicit Code(const std::vector<uint8_t>& lens) {
        for (uint8_t l : lens) ++count_[l];
        for (uint32_t len = 1; len < 16; ++len) {
            for (size_t n = 0; n < lens.size(); ++n) {
                if (lens[n] == len) symbols_.push_back(static_cast<uint32_t>(n));
            }
        }
    }
    uint32_t Decode(BitReader& in) const {
        uint32_t code = 0, first = 0, index = 0;
        for (uint32_t len = 1; len < 16; ++len) {
            code |= in.Bits(1);
            if (code - first < count_[len]) return symbols_[index + code - first];
            index += count_[len];
            first = (first + count_[len]) << 1;
            code <<= 1;
        }
        throw ParseError("bad code");
    }

private:
    uint32_t count_[16] = {};
    std::vector<uint32_t> symbols_;
};

void ReadDynamicCodes(BitReader& in, std::vector<uint8_t>* litLens, std::vector<uint8_t>* distLens) {
    uint32_t hlit = in.Bits(5) + 257;
    uint32_t hdist = in.Bits(5) + 1;
    uint32_t hclen = in.Bits(4) + 4;
    std::vector<uint8_t> clens(19, 0);
    for (uint32_t i = 0; i < hclen; ++i) clens[kDeflateCodeLengthOrder[i]] = static_cast<uint8_t>(in.Bits(3));
    Code clcode(clens);
    std::vector<uint8_t> lens;
    while (lens.size() < hlit + hdist) {
        uint32_t sym = clcode.Decode(in);
        if (sym < 16) {
            lens.push_back(static_cast<uint8_t>(sym));
        } else if (sym == 16) {
            if (lens.empty()) throw ParseError("repeat without previous length");
            uint32_t n = 3 + in.Bits(2);
            lens.insert(lens.end(), n, lens.back());
        } else {
            uint32_t n = sym == 17 ? 3 + in.Bits(3) : 11 + in.Bits(7);
            lens.insert(lens.end(), n, 0);
        }
    }
    if (lens.size() != hlit + hdist) throw ParseError("code lengths overrun");
    litLens->assign(lens.begin(), lens.begin() + hlit);
    distLens->assign(lens.begin() + hlit, lens.end());
}

void ReadTokens(BitReader& in, const Code& lit, const Code& dist, const std::vector<uint8_t>& history,
                ParsedStream* out, ParsedBlock* block) {
    for (;;) {
        uint32_t sym = lit.Decode(in);
        if (sym < 256) {
            block->tokens.push_back({0, 0, static_cast<uint8_t>(sym)});
            out->output.push_back(static_cast<uint8_t>(sym));
            continue;
        }
        if (sym == 256) return;
        uint32_t code = sym - 257;
        if (code >= 29) throw ParseError("bad length code");
        uint32_t length = kDeflateLengthBase[code] + in.Bits(kDeflateLengthExtra[code]);
        uint32_t dcode = dist.Decode(in);
        if (dcode >= 30) throw ParseError("bad distance code");
        uint32_t distance = kDeflateDistBase[dcode] + in.Bits(kDeflateDistExtra[dcode]);
        if (distance > out->output.size() + history.size()) throw ParseError("distance too far back");
        block->tokens.push_back({length, distance, 0});
        for (uint32_t i = 0; i < length; ++i) {
            size_t have = out->output.size();
            uint8_t b = distance <= have ? out->output[have - distance]
                                         : history[history.size() - (distance - have)];
            out->output.push_back(b);
        }
    }
}

}  // namespace

ParsedStream ParseDeflateStream(const uint8_t* data, size_t size, const std::vector<uint8_t>& history) {
    ParsedStream out;
    BitReader in(data, size);
    try {
        for (;;) {
            ParsedBlock block{};
            block.final = in.Bits(1) != 0;
            block.type = in.Bits(2);
            if (block.type == 0) {
                in.Align();
                uint32_t len = in.Bits(16);
                uint32_t nlen = in.Bits(16);
                if ((len ^ 0xFFFF) != nlen) throw ParseError("stored length check");
                block.storedLength = len;
                for (uint32_t i = 0; i < len; ++i) out.output.push_back(static_cast<uint8_t>(in.Bits(8)));
            } else if (block.type == 1) {
                std::vector<uint8_t> litLens(288, 8);
                for (int n = 144; n < 256; ++n) litLens[n] = 9;
                for (int n = 256; n < 280; ++n) litLens[n] = 7;
                ReadTokens(in, Code(litLens), Code(std::vector<uint8_t>(30, 5)), history, &out, &block);
            } else if (block.type == 2) {
                std::vector<uint8_t> litLens, distLens;
                ReadDynamicCodes(in, &litLens, &distLens);
                ReadTokens(in, Code(litLens), Code(distLens), history, &out, &block);
            } else {
                throw ParseError("reserved block type");
            }
            bool final = block.final;
            out.blocks.push_back(std::move(block));
            if (final) break;
        }
        in.Align();
        out.bytesConsumed = static_cast<uint32_t>(in.BytePos());
        out.ok = true;
    } catch (const ParseError& e) {
        out.error = e.what();
    }
    return out;
}

}  // namespace deflatetest
