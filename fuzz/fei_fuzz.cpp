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

#include "cabinet/client_callbacks.h"
#include "fei/fei.h"
#include "memory_files.h"

namespace treepak {

namespace {

constexpr int MAX_NEXT_CABINET_RETRIES = 3;
constexpr int OUTPUT_HANDLE = 1000;
constexpr uint32_t LARGEST_ALLOCATION = 64u << 20;
constexpr const char* FIRST_CABINET = "a.cab";
constexpr const char* SECOND_CABINET = "b.cab";

int g_retries = 0;

void* Alloc(uint32_t size) { return size > LARGEST_ALLOCATION ? nullptr : std::malloc(size ? size : 1); }
void Free(void* block) { std::free(block); }

// The first cabinet answers to its own name; the second part of a set to
// any other name, since the first one names its successor. Spill files (any
// open with the create flag) are refused.
int Open(const char* path, int flags, int) {
    if (flags & IO_OPEN_CREATE) return -1;
    return memfiles::Open(std::strcmp(path, FIRST_CABINET) == 0 ? FIRST_CABINET : SECOND_CABINET, false);
}
int32_t Read(int handle, void* buffer, uint32_t count) { return memfiles::Read(handle, buffer, count); }
// Extracted bytes are discarded; the cabinets are not written to.
int32_t Write(int handle, const void*, uint32_t count) {
    return handle == OUTPUT_HANDLE ? static_cast<int32_t>(count) : -1;
}
int Close(int handle) { return handle == OUTPUT_HANDLE ? 0 : memfiles::Close(handle); }
int32_t Seek(int handle, int32_t offset, int origin) { return memfiles::Seek(handle, offset, origin); }

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
    memfiles::Reset();
    const size_t first = asSet && cut < size ? cut : size;
    memfiles::files[FIRST_CABINET].assign(data, data + first);
    if (first < size) memfiles::files[SECOND_CABINET].assign(data + first, data + size);
    ErrorRecord error{};
    FEIContext* context = FEICreate(Alloc, Free, Open, Read, Write, Close, Seek, 1, &error);
    if (!context) return 0;
    FEIList(context, FIRST_CABINET, "", ListNotify, ListHook, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        g_retries = 0;
        FEIExtract(context, FIRST_CABINET, "", 0, Notify, withHook ? Hook : nullptr, nullptr);
        if (memfiles::AnyOpen()) __builtin_trap();  // a cabinet handle left open
    }
    FEIDestroy(context);
    return 0;
}
