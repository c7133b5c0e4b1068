#include "stream_parser.h"

#include <stdexcept>

#include "cabinet/deflate_format.h"

namespace deflatetest {
namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t bit = 0;
    uint32_t Bits(uint32_t count) {
        uint32_t value = 0;
        for (uint32_t i = 0; i < count; ++i, ++bit) {
            if (bit / 8 >= size) throw std::runtime_error("stream ends early");
            value |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
        }
        return value;
    }
};

// Canonical code decoded bit by bit from the number of codes per length.
struct Code {
    uint32_t count[16] = {};
    std::vector<uint32_t> symbols;
    explicit Code(const std::vector<uint8_t>& lens) {
        for (uint8_t l : lens) ++count[l];
        for (uint32_t len = 1; len < 16; ++len) {
            for (size_t n = 0; n < lens.size(); ++n) {
                if (lens[n] == len) symbols.push_back(static_cast<uint32_t>(n));
            }
        }
    }
    uint32_t Decode(Reader& in) const {
        uint32_t code = 0, first = 0, index = 0;
        for (uint32_t len = 1; len < 16; ++len, code <<= 1) {
            code |= in.Bits(1);
            if (code - first < count[len]) return symbols[index + code - first];
            index += count[len];
            first = (first + count[len]) << 1;
        }
        throw std::runtime_error("bad code");
    }
};

void ReadDynamicLengths(Reader& in, std::vector<uint8_t>* lit, std::vector<uint8_t>* dist) {
    uint32_t hlit = in.Bits(5) + 257, hdist = in.Bits(5) + 1, hclen = in.Bits(4) + 4;
    std::vector<uint8_t> clens(19, 0);
    for (uint32_t i = 0; i < hclen; ++i) clens[kDeflateCodeLengthOrder[i]] = static_cast<uint8_t>(in.Bits(3));
    Code clcode(clens);
    std::vector<uint8_t> lens;
    while (lens.size() < hlit + hdist) {
        uint32_t sym = clcode.Decode(in);
        if (sym < 16) {
            lens.push_back(static_cast<uint8_t>(sym));
        } else if (sym == 16) {
            if (lens.empty()) throw std::runtime_error("repeat without a length");
            lens.insert(lens.end(), 3 + in.Bits(2), lens.back());
        } else {
            lens.insert(lens.end(), sym == 17 ? 3 + in.Bits(3) : 11 + in.Bits(7), 0);
        }
    }
    if (lens.size() != hlit + hdist) throw std::runtime_error("code lengths overrun");
    lit->assign(lens.begin(), lens.begin() + hlit);
    dist->assign(lens.begin() + hlit, lens.end());
}

void ReadTokens(Reader& in, const Code& lit, const Code& dist, const std::vector<uint8_t>& history,
                ParsedStream* out, ParsedBlock* block) {
    for (uint32_t sym; (sym = lit.Decode(in)) != 256;) {
        if (sym < 256) {
            block->tokens.push_back({0, 0});
            out->output.push_back(static_cast<uint8_t>(sym));
            continue;
        }
        uint32_t code = sym - 257;
        if (code >= 29) throw std::runtime_error("bad length code");
        uint32_t length = kDeflateLengthBase[code] + in.Bits(kDeflateLengthExtra[code]);
        uint32_t dcode = dist.Decode(in);
        if (dcode >= 30) throw std::runtime_error("bad distance code");
        uint32_t distance = kDeflateDistBase[dcode] + in.Bits(kDeflateDistExtra[dcode]);
        if (distance > out->output.size() + history.size()) throw std::runtime_error("distance too far back");
        block->tokens.push_back({length, distance});
        for (uint32_t i = 0; i < length; ++i) {
            size_t have = out->output.size();
            out->output.push_back(distance <= have ? out->output[have - distance]
                                                   : history[history.size() - (distance - have)]);
        }
    }
}

}  // namespace

ParsedStream ParseDeflateStream(const uint8_t* data, size_t size, const std::vector<uint8_t>& history) {
    ParsedStream out;
    Reader in{data, size};
    try {
        for (bool final = false; !final;) {
            ParsedBlock block{};
            final = block.final = in.Bits(1) != 0;
            block.type = in.Bits(2);
            if (block.type == 0) {
                in.bit = (in.bit + 7) / 8 * 8;
                block.storedLength = in.Bits(16);
                if ((block.storedLength ^ 0xFFFF) != in.Bits(16)) throw std::runtime_error("stored length check");
                for (uint32_t i = 0; i < block.storedLength; ++i) out.output.push_back(static_cast<uint8_t>(in.Bits(8)));
            } else if (block.type == 1) {
                std::vector<uint8_t> lit(288, 8);
                for (int n = 144; n < 256; ++n) lit[n] = 9;
                for (int n = 256; n < 280; ++n) lit[n] = 7;
                ReadTokens(in, Code(lit), Code(std::vector<uint8_t>(30, 5)), history, &out, &block);
            } else if (block.type == 2) {
                std::vector<uint8_t> lit, dist;
                ReadDynamicLengths(in, &lit, &dist);
                ReadTokens(in, Code(lit), Code(dist), history, &out, &block);
            } else {
                throw std::runtime_error("reserved block type");
            }
            out.blocks.push_back(std::move(block));
        }
        out.bytesConsumed = static_cast<uint32_t>((in.bit + 7) / 8);
    } catch (const std::exception& e) {
        out.error = e.what();
    }
    return out;
}

}  // namespace deflatetest
