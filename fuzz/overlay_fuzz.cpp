// The search for a cabinet appended to an executable, over arbitrary file
// contents held in an anonymous in-memory file. The offset found must be 0
// or the place of a cabinet signature with a whole cabinet header after it
// inside the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/expand/expand_files.h"
#include "cabinet/format.h"
#include "cabinet/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    static const int fd = memfd_create("overlay", 0);
    if (fd < 0) std::abort();
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) std::abort();
    if (size && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    if (lseek(fd, 0, SEEK_SET) != 0) std::abort();

    const int64_t overlay = FindOverlayOffset(fd);
    if (overlay == 0) return 0;
    if (overlay < 0 || static_cast<uint64_t>(overlay) + CFHEADER_SIZE > size) std::abort();
    if (std::memcmp(data + overlay, CAB_SIGNATURE, sizeof(CAB_SIGNATURE)) != 0) std::abort();
    return 0;
}
