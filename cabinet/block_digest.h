// A 128-bit digest chain over a folder's uncompressed blocks, used to
// recognise a block whose compressed form is already known. Each link is
// the digest of one block's bytes and length seeded with the previous link,
// so a link identifies the whole sequence of blocks since the chain's start
// (contents, order and cut points). The two 64-bit lanes are computed
// independently with different constants; the digest is not cryptographic
// and lives only within one process.
#pragma once

#include <cstdint>

namespace treepak {

struct BlockDigest {
    uint64_t lane[2];
    bool operator==(const BlockDigest&) const = default;
};

// The link before a chain's first block.
inline constexpr BlockDigest BLOCK_DIGEST_START = {{0x243F6A8885A308D3u, 0x13198A2E03707344u}};

// The link after `previous` for one block of `size` bytes.
BlockDigest ChainBlockDigest(const BlockDigest& previous, const void* bytes, uint32_t size);

}  // namespace treepak
