// Ending a deflate block: the choice between stored, fixed and dynamic codes
// and the writing of the block.
#pragma once

#include <cstdint>

#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

// Ends the pending deflate block, which covers the window bytes from
// s.blockStart to s.position, with its tallies; sets BFINAL when `final`,
// and then pads the stream to a byte boundary. The counts and tallies are
// cleared for the next block; the caller moves s.blockStart.
void EndDeflateBlock(DeflateState& s, const uint8_t* window, bool final);

}  // namespace blockdeflate

}  // namespace treepak
