// The Quantum window kept in a spill file, for when the window cannot be
// allocated in one piece. The window is cut into 4096-byte pages; a few page
// buffers (at least 3) cache them, replaced least-recently-used first with
// write-back of dirty pages. Window positions wrap at the window size, so a
// window smaller than one page lives entirely in page 0.
#pragma once

#include <cstdint>

#include "decompress/decoder.h"

namespace treepak {

namespace quantum {

inline constexpr uint32_t PAGE_SIZE = 4096;
inline constexpr uint32_t PAGE_SHIFT = 12;
inline constexpr uint32_t MIN_PAGE_BUFFERS = 3;
inline constexpr uint32_t NO_PAGE = UINT32_MAX;
static_assert(PAGE_SIZE == uint32_t{1} << PAGE_SHIFT);

struct PageBuffer {
    PageBuffer* newer;  // recency list, most recently used at the head
    PageBuffer* older;
    uint32_t page;      // NO_PAGE when it holds none
    bool dirty;
    uint8_t data[PAGE_SIZE];
};

struct PageEntry {
    PageBuffer* buffer;  // null when the page is not cached
    bool spilled;        // the page has been written to the spill file
};

struct PagedWindow {
    FEIAllocFn alloc;
    FEIFreeFn free;
    DecoderFileCallbacks files;
    int spillFile;
    uint32_t windowSize;
    uint32_t pageCount;
    PageEntry* pages;
    uint32_t bufferCount;
    PageBuffer* newest;
    PageBuffer* oldest;
    PageBuffer* writeBuffer;  // the buffer holding the write page
};

// Opens the spill file and allocates the page table and buffers, then starts
// as ResetPagedWindow does. False (with everything released) when the spill
// file cannot be opened or fewer than MIN_PAGE_BUFFERS buffers fit.
bool OpenPagedWindow(PagedWindow* window, uint32_t windowSize, FEIAllocFn alloc, FEIFreeFn free,
                     const DecoderFileCallbacks* files);
// Forgets every page (cached or spilled) and makes page 0 the write page.
void ResetPagedWindow(PagedWindow* window);
void ClosePagedWindow(PagedWindow* window);

// Stores one byte at window position `position` (the write position) and
// moves to the next write page when it fills the current one. False on a
// failed page fetch.
bool PagedPutByte(PagedWindow* window, uint32_t position, uint8_t byte);
// Copies `length` bytes from window position `source` to `position` (the
// write position) and to `out`, each source byte read before its
// destination byte is written. False on a failed page fetch.
bool PagedCopyMatch(PagedWindow* window, uint32_t source, uint32_t position, uint32_t length, uint8_t* out);

}  // namespace quantum

}  // namespace treepak
