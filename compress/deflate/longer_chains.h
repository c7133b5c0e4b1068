// The four-byte chains beside the three-byte hash chains, and the search
// that uses them. Each position of a four-byte chain links to the previous
// inserted position whose first four bytes hash alike; each position's rank
// is its count of links from the start of its three-byte chain, so the
// links between two positions of one three-byte chain are the difference
// of their ranks. The search finds exactly what LongestMatch finds.
#pragma once

#include <cstdint>

#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

// Rebuilds the four-byte chains and the ranks at the start of a call, after
// the slide: from the three-byte chains' history positions (their input,
// fourth bytes included, all in the window now) when there is history,
// empty otherwise.
void RebuildLongerChains(LongerChains& l, const uint8_t* window, const uint16_t* head, const uint16_t* chain,
                         bool history);

// LongestMatch over the same candidates, for a call whose positions all went
// into the four-byte chains too.
uint32_t LongestMatchLonger(const uint8_t* window, const uint16_t* chain, const LongerChains& longer,
                            uint32_t current, uint32_t candidate, uint32_t lengthToBeat, uint32_t maxLength,
                            uint32_t* matchPosition, SearchEffort* effort);

// Ends a call's account: turns the four-byte chains on when the three-byte
// walks were long, off for a while when they saved too little.
void ChooseSearch(SearchEffort& effort);

}  // namespace blockdeflate

}  // namespace treepak
