// A small, slow deflate reader for tests: it reports the blocks and tokens
// of a stream, so tests can see how the compressor coded its input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace deflatetest {

struct Token {
    uint32_t length;    // 0 for a literal
    uint32_t distance;  // 0 for a literal
};

struct ParsedBlock {
    uint32_t type;  // 0 stored, 1 fixed, 2 dynamic
    bool final;
    uint32_t storedLength;
    std::vector<Token> tokens;
};

struct ParsedStream {
    std::string error;  // empty when the stream parsed
    std::vector<ParsedBlock> blocks;
    std::vector<uint8_t> output;
    uint32_t bytesConsumed = 0;  // up to the end of the final block, padded
};

// `history` is the preset dictionary that distances may reach into.
ParsedStream ParseDeflateStream(const uint8_t* data, size_t size, const std::vector<uint8_t>& history);

}  // namespace deflatetest
