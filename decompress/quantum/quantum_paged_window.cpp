// Paged Quantum window backed by a spill file opened through the client's
// open callback. Page p covers window positions [p * 4096, p * 4096 + 4096)
// and is stored at offset p * 4096 of the spill file once written back.
//
// Recency: the write page is made the most recently used again after every
// source-page fetch of a match, so that with the minimum of three buffers a
// match whose source and destination both cross a page boundary never finds
// the write page's buffer as the replacement victim.
#include "decompress/quantum/quantum_paged_window.h"

#include <algorithm>
#include <cstring>

#include "cabinet/bytes.h"
#include "cabinet/tp_assert.h"

namespace treepak {

namespace quantum {
namespace {

// The spill file: binary, create, read-write, owner read and write.
constexpr int SPILL_OPEN_FLAGS = IO_OPEN_BINARY | IO_OPEN_CREATE | IO_OPEN_READ_WRITE;
constexpr int SPILL_OPEN_MODE = IO_MODE_READ | IO_MODE_WRITE;
constexpr int OPEN_FAILED = -1;
// The spill file's name "*" with its NUL, followed in the same buffer by the
// window size as a 32-bit little-endian number for the client to use.
constexpr char SPILL_NAME = '*';
constexpr uint32_t SPILL_NAME_BUFFER_SIZE = 2 + 4;

void Unlink(PagedWindow* window, PageBuffer* buffer) {
    (buffer->newer ? buffer->newer->older : window->newest) = buffer->older;
    (buffer->older ? buffer->older->newer : window->oldest) = buffer->newer;
    buffer->newer = buffer->older = nullptr;
}

void PushNewest(PagedWindow* window, PageBuffer* buffer) {
    buffer->newer = nullptr;
    buffer->older = window->newest;
    (window->newest ? window->newest->newer : window->oldest) = buffer;
    window->newest = buffer;
}

void MakeNewest(PagedWindow* window, PageBuffer* buffer) {
    if (window->newest == buffer) return;
    Unlink(window, buffer);
    PushNewest(window, buffer);
}

bool SeekToPage(PagedWindow* window, uint32_t page) {
    const int32_t offset = static_cast<int32_t>(page * PAGE_SIZE);
    return window->files.seek(window->spillFile, offset, IO_SEEK_SET) == offset;
}

bool WriteBack(PagedWindow* window, PageBuffer* buffer) {
    if (!SeekToPage(window, buffer->page)) return false;
    if (window->files.write(window->spillFile, buffer->data, PAGE_SIZE) != static_cast<int32_t>(PAGE_SIZE)) return false;
    window->pages[buffer->page].spilled = true;
    return true;
}

bool ReadIn(PagedWindow* window, PageBuffer* buffer) {
    if (!SeekToPage(window, buffer->page)) return false;
    return window->files.read(window->spillFile, buffer->data, PAGE_SIZE) == static_cast<int32_t>(PAGE_SIZE);
}

void Evict(PageBuffer* buffer) {
    buffer->page = NO_PAGE;
    buffer->dirty = false;
}

// Returns the buffer holding `page`, or null on failure. A failed fetch
// leaves every buffer either holding its page or none.
PageBuffer* FetchPage(PagedWindow* window, uint32_t page, bool forWriting) {
    TP_ASSERT(page < window->pageCount);
    PageEntry* entry = &window->pages[page];
    if (entry->buffer) {
        MakeNewest(window, entry->buffer);
        if (forWriting) entry->buffer->dirty = true;
        return entry->buffer;
    }
    PageBuffer* buffer = window->oldest;
    if (buffer == window->writeBuffer) return nullptr;
    if (buffer->page != NO_PAGE) {
        window->pages[buffer->page].buffer = nullptr;
        const bool saved = !buffer->dirty || WriteBack(window, buffer);
        Evict(buffer);
        if (!saved) return nullptr;
    }
    MakeNewest(window, buffer);
    buffer->page = page;
    if (entry->spilled) {
        if (!ReadIn(window, buffer)) {
            Evict(buffer);
            return nullptr;
        }
    } else if (forWriting) {
        // A page never produced holds zeros, as the memory window does.
        std::memset(buffer->data, 0, PAGE_SIZE);
    } else {
        Evict(buffer);
        return nullptr;
    }
    entry->buffer = buffer;
    buffer->dirty = forWriting;
    return buffer;
}

// Called after a byte went to window position `position`; moves the write
// page on when that byte filled it (or ended the window).
bool AdvanceWritePage(PagedWindow* window, uint32_t position) {
    const uint32_t next = (position + 1) & (window->windowSize - 1);
    if (next & (PAGE_SIZE - 1)) return true;
    PageBuffer* buffer = FetchPage(window, next >> PAGE_SHIFT, true);
    if (!buffer) return false;
    window->writeBuffer = buffer;
    return true;
}

void ReleaseAll(PagedWindow* window) {
    while (PageBuffer* buffer = window->newest) {
        Unlink(window, buffer);
        window->free(buffer);
    }
    if (window->pages) window->free(window->pages);
    window->pages = nullptr;
    window->bufferCount = 0;
    window->writeBuffer = nullptr;
    if (window->spillFile != OPEN_FAILED) window->files.close(window->spillFile);
    window->spillFile = OPEN_FAILED;
}

}  // namespace

bool OpenPagedWindow(PagedWindow* window, uint32_t windowSize, FEIAllocFn alloc, FEIFreeFn free,
                     const DecoderFileCallbacks* files) {
    TP_ASSERT((windowSize & (windowSize - 1)) == 0);
    *window = PagedWindow{};
    window->alloc = alloc;
    window->free = free;
    window->spillFile = OPEN_FAILED;
    window->windowSize = windowSize;
    if (!files || !files->open || !files->read || !files->write || !files->close || !files->seek) return false;
    window->files = *files;

    char name[SPILL_NAME_BUFFER_SIZE] = {SPILL_NAME, '\0'};
    cab::StoreLe32(reinterpret_cast<uint8_t*>(name + 2), windowSize);
    window->spillFile = files->open(name, SPILL_OPEN_FLAGS, SPILL_OPEN_MODE);
    if (window->spillFile == OPEN_FAILED) return false;

    window->pageCount = std::max(windowSize / PAGE_SIZE, MIN_PAGE_BUFFERS);
    window->pages = static_cast<PageEntry*>(alloc(window->pageCount * sizeof(PageEntry)));
    if (!window->pages) {
        ReleaseAll(window);
        return false;
    }
    while (window->bufferCount < window->pageCount) {
        auto* buffer = static_cast<PageBuffer*>(alloc(sizeof(PageBuffer)));
        if (!buffer) break;
        PushNewest(window, buffer);
        ++window->bufferCount;
    }
    if (window->bufferCount < MIN_PAGE_BUFFERS) {
        ReleaseAll(window);
        return false;
    }
    ResetPagedWindow(window);
    return true;
}

void ResetPagedWindow(PagedWindow* window) {
    for (PageBuffer* buffer = window->newest; buffer; buffer = buffer->older) Evict(buffer);
    for (uint32_t page = 0; page < window->pageCount; ++page) window->pages[page] = PageEntry{nullptr, false};
    window->writeBuffer = nullptr;
    window->writeBuffer = FetchPage(window, 0, true);
    TP_ASSERT(window->writeBuffer);
}

void ClosePagedWindow(PagedWindow* window) { ReleaseAll(window); }

bool PagedPutByte(PagedWindow* window, uint32_t position, uint8_t byte) {
    TP_ASSERT(window->writeBuffer && window->writeBuffer->page == position >> PAGE_SHIFT);
    window->writeBuffer->data[position & (PAGE_SIZE - 1)] = byte;
    return AdvanceWritePage(window, position);
}

bool PagedCopyMatch(PagedWindow* window, uint32_t source, uint32_t position, uint32_t length, uint8_t* out) {
    const uint32_t mask = window->windowSize - 1;
    // Runs stop at the end of a page and at the end of the window, whichever
    // comes first (a window smaller than a page wraps inside page 0).
    const uint32_t pageLimit = std::min(PAGE_SIZE, window->windowSize);
    MakeNewest(window, window->writeBuffer);
    while (length > 0) {
        TP_ASSERT(window->writeBuffer->page == position >> PAGE_SHIFT);
        const PageBuffer* from = FetchPage(window, source >> PAGE_SHIFT, false);
        if (!from) return false;
        MakeNewest(window, window->writeBuffer);
        const uint32_t sourceOffset = source & (pageLimit - 1);
        const uint32_t writeOffset = position & (pageLimit - 1);
        const uint32_t run = std::min({length, pageLimit - sourceOffset, pageLimit - writeOffset});
        uint8_t* to = window->writeBuffer->data;
        // Byte by byte, source first: the source may overlap the bytes being
        // written, or be the very byte a full-window distance points at.
        for (uint32_t i = 0; i < run; ++i) {
            const uint8_t byte = from->data[sourceOffset + i];
            to[writeOffset + i] = byte;
            out[i] = byte;
        }
        out += run;
        length -= run;
        source = (source + run) & mask;
        position = (position + run - 1) & mask;
        if (!AdvanceWritePage(window, position)) return false;
        position = (position + 1) & mask;
    }
    return true;
}

}  // namespace quantum

}  // namespace treepak
