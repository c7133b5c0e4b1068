// Read-ahead for the cabinet handles of the expand driver. The reader engine
// reads a cabinet in small pieces: 16-byte file entries, 256-byte probes for
// a name followed by a seek back to the byte after its NUL, 8-byte block
// headers between blocks. A handle attached here keeps its own position and
// windows of the file, each read in one call; reads inside a window and every
// seek (but from the end) cost no system call. Two windows, because the data
// handle alternates between two places that each move forward: the folder
// entries near the start and the data blocks. Reads go to explicit
// positions, so the host's position of an attached handle means nothing.
// The file must not change while attached: a window is never re-read.
#pragma once

#include <cstdint>
#include <memory>

namespace treepak {

inline constexpr uint32_t kReadAheadWindowSize = 64 * 1024;
inline constexpr int kReadAheadWindows = 2;

class ReadAheadFile {
public:
    // Starts serving `handle`, open for reading, from `position`.
    void Attach(int handle, int64_t position);
    // Forgets the handle; the windows' memory stays for the next one.
    void Detach();
    bool IsAttached() const { return handle_ != kNoHandle; }
    int Handle() const { return handle_; }

    // As platform::ReadFile: bytes read, fewer only at the end of the file,
    // or -1.
    int32_t Read(void* buffer, uint32_t count);
    // As platform::SeekFile: the new position from the start of the file, or
    // -1 with the position unchanged (a target before the start, a bad
    // origin).
    int64_t Seek(int64_t offset, int origin);

private:
    static constexpr int kNoHandle = -1;

    struct Window {
        std::unique_ptr<uint8_t[]> bytes;
        int64_t start = 0;
        uint32_t length = 0;
        uint64_t lastUse = 0;
    };

    Window* WindowAtPosition();
    Window* Refill();

    int handle_ = kNoHandle;
    int64_t position_ = 0;
    Window windows_[kReadAheadWindows];
    uint64_t uses_ = 0;
};

}  // namespace treepak
