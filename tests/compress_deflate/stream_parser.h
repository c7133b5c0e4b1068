// A small, slow deflate stream reader for tests: it reports the blocks and
// the literal/match tokens of a stream, so tests can check how the
// compressor chose to code its input (zlib only says whether it decodes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace deflatetest {

struct Token {
    uint32_t length;    // 0 for a literal
    uint32_t distance;  // 0 for a literal
    uint8_t literal;
};

struct ParsedBlock {
    uint32_t type;  // 0 stored, 1 fixed, 2 dynamic
    bool final;
    uint32_t storedLength;      // stored blocks only
    std::vector<Token> tokens;  // fixed and dynamic blocks only
};

struct ParsedStream {
    bool ok = false;
    std::string error;
    std::vector<ParsedBlock> blocks;
    std::vector<uint8_t> output;  // decoded bytes (without the history)
    uint32_t bytesConsumed = 0;   // stream bytes up to the end of the final block, padded
};

// Parses one deflate stream (without "CK"); `history` is the preset
// dictionary that distances may reach into.
ParsedStream ParseDeflateStream(const uint8_t* data, size_t size, const std::vector<uint8_t>& history);

}  // namespace deflatetest
