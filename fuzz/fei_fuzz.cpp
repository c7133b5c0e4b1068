// Serves arbitrary bytes to the reader engine as one cabinet, or cut in two
// as a set of two cabinets, through in-memory callbacks: lists the tables
// (which must read no data block), then extracts everything. Extracted
// bytes are discarded; the client gives up on a next cabinet after a few
// retries.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fei/fei.h"

namespace treepak {

namespace {

constexpr int MAX_NEXT_CABINET_RETRIES = 3;
constexpr int OUTPUT_HANDLE = 1000;
constexpr int MAX_OPEN_HANDLES = 8;
constexpr uint32_t LARGEST_ALLOCATION = 64u << 20;

struct Cabinet {
    std::string name;
    const uint8_t* bytes;
    size_t size;
};

struct OpenFile {
    const Cabinet* cabinet;
    size_t position;
};

Cabinet g_cabinets[2];
int g_cabinetCount = 0;
OpenFile g_open[MAX_OPEN_HANDLES];
int g_retries = 0;

void* Alloc(uint32_t size) { return size > LARGEST_ALLOCATION ? nullptr : std::malloc(size ? size : 1); }
void Free(void* block) { std::free(block); }

// The first cabinet answers to its own name; the second part of a set to
// any other name, since the first one names its successor. Spill files (any
// open with the create flag) are refused.
int Open(const char* path, int flags, int) {
    constexpr int CREATE_FLAG = 0x0100;
    if (flags & CREATE_FLAG) return -1;
    const int c = g_cabinets[0].name == path ? 0 : 1;
    if (c >= g_cabinetCount) return -1;
    for (int h = 0; h < MAX_OPEN_HANDLES; ++h) {
        if (g_open[h].cabinet == nullptr) {
            g_open[h] = OpenFile{&g_cabinets[c], 0};
            return h;
        }
    }
    return -1;
}

OpenFile* Find(int handle) {
    if (handle < 0 || handle >= MAX_OPEN_HANDLES || !g_open[handle].cabinet) return nullptr;
    return &g_open[handle];
}

int32_t Read(int handle, void* buffer, uint32_t count) {
    OpenFile* f = Find(handle);
    if (!f) return -1;
    if (f->position >= f->cabinet->size) return 0;
    const size_t n = count < f->cabinet->size - f->position ? count : f->cabinet->size - f->position;
    std::memcpy(buffer, f->cabinet->bytes + f->position, n);
    f->position += n;
    return static_cast<int32_t>(n);
}

int32_t Write(int handle, const void*, uint32_t count) {
    return handle == OUTPUT_HANDLE ? static_cast<int32_t>(count) : -1;
}

int Close(int handle) {
    if (handle == OUTPUT_HANDLE) return 0;
    OpenFile* f = Find(handle);
    if (!f) __builtin_trap();  // the engine closed a handle it does not own
    f->cabinet = nullptr;
    return 0;
}

int32_t Seek(int handle, int32_t offset, int origin) {
    OpenFile* f = Find(handle);
    if (!f) return -1;
    const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(f->position)
                                                       : static_cast<int64_t>(f->cabinet->size);
    const int64_t target = base + offset;
    if (target < 0) return -1;
    f->position = static_cast<size_t>(target);
    return static_cast<int32_t>(target);
}

int Notify(int kind, FEINotification* n) {
    switch (kind) {
        case FEI_NOTIFY_COPY_FILE: return OUTPUT_HANDLE;
        case FEI_NOTIFY_NEXT_CABINET:
            g_retries = n->errorCode ? g_retries + 1 : 0;
            return g_retries > MAX_NEXT_CABINET_RETRIES ? -1 : 0;
        default: return 0;
    }
}

int Hook(FEIHookRecord*) { return 0; }

// Listing reads tables only: a data hook there is a fault.
int ListHook(FEIHookRecord* record) {
    if (record->kind == FEI_HOOK_DATA) __builtin_trap();
    return 0;
}

int ListNotify(int kind, FEINotification* n) {
    if (kind == FEI_NOTIFY_FILE_ENTRY && (n->text1 == nullptr || std::strlen(n->text1) >= FEI_NAME_BUFFER_SIZE))
        __builtin_trap();
    return 0;
}

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    if (size < 3) return 0;
    // Byte 0 picks one cabinet or a set; bytes 1-2 where the set is cut.
    const bool asSet = data[0] & 1;
    const bool withHook = data[0] & 2;
    const size_t cut = (static_cast<size_t>(data[1]) | (static_cast<size_t>(data[2]) << 8));
    data += 3;
    size -= 3;
    g_cabinetCount = 0;
    if (asSet && cut < size) {
        g_cabinets[g_cabinetCount++] = Cabinet{"a.cab", data, cut};
        g_cabinets[g_cabinetCount++] = Cabinet{"b.cab", data + cut, size - cut};
    } else {
        g_cabinets[g_cabinetCount++] = Cabinet{"a.cab", data, size};
    }
    ErrorRecord error{};
    FEIContext* context = FEICreate(Alloc, Free, Open, Read, Write, Close, Seek, 1, &error);
    if (!context) return 0;
    FEIList(context, "a.cab", "", ListNotify, ListHook, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        g_retries = 0;
        FEIExtract(context, "a.cab", "", 0, Notify, withHook ? Hook : nullptr, nullptr);
        for (const OpenFile& f : g_open) {
            if (f.cabinet) __builtin_trap();  // a cabinet handle left open
        }
    }
    FEIDestroy(context);
    return 0;
}
