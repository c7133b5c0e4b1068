#include "platform/huge_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cabinet/tp_assert.h"

namespace treepak {

namespace platform {

namespace {

// The setting reads "always [madvise] never" with the one in force bracketed.
constexpr const char* kTransparentHugePageSetting = "/sys/kernel/mm/transparent_hugepage/enabled";

bool ReadHugePageSetting() {
    std::FILE* file = std::fopen(kTransparentHugePageSetting, "re");
    if (file == nullptr) return false;
    char text[128] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[length] = '\0';
    return std::strstr(text, "[always]") != nullptr || std::strstr(text, "[madvise]") != nullptr;
}

size_t WholePages(size_t bytes) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

}  // namespace

bool HugePagesAvailable() {
    static const bool available = ReadHugePageSetting();
    return available;
}

void* AllocateHugeRegion(size_t requested) {
    TP_ASSERT(requested > 0);
    const size_t bytes = WholePages(requested);
    // Map one huge page more than asked and trim to an aligned region: the
    // kernel only uses a huge page for an aligned 2 MiB range.
    const size_t mapped = bytes + kHugePageBytes;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePageBytes - 1) & ~(uintptr_t{kHugePageBytes} - 1);
    const size_t head = aligned - start;
    const size_t tail = mapped - head - bytes;
    if (head > 0) munmap(raw, head);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    auto* region = reinterpret_cast<void*>(aligned);
    // Only advice: without it the region still works, in small pages.
    madvise(region, bytes, MADV_HUGEPAGE);
    return region;
}

void FreeHugeRegion(void* region, size_t bytes) {
    if (region != nullptr) munmap(region, WholePages(bytes));
}

}  // namespace platform

}  // namespace treepak
