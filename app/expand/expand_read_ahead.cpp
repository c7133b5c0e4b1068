#include "app/expand/expand_read_ahead.h"

#include <cstring>

#include "cabinet/tp_assert.h"
#include "platform/file_io.h"
#include "platform/positional_io.h"

namespace treepak {

void ReadAheadFile::Attach(int handle, int64_t position) {
    TP_ASSERT(handle != kNoHandle && position >= 0);
    handle_ = handle;
    position_ = position;
    for (Window& window : windows_) window.length = 0;
}

void ReadAheadFile::Detach() {
    handle_ = kNoHandle;
    for (Window& window : windows_) window.length = 0;
}

ReadAheadFile::Window* ReadAheadFile::WindowAtPosition() {
    for (Window& window : windows_)
        if (position_ >= window.start && position_ < window.start + window.length) return &window;
    return nullptr;
}

// Reads the least recently used window from the current position; null
// after a read error.
ReadAheadFile::Window* ReadAheadFile::Refill() {
    Window* oldest = &windows_[0];
    for (Window& window : windows_)
        if (window.lastUse < oldest->lastUse) oldest = &window;
    if (!oldest->bytes) oldest->bytes = std::make_unique<uint8_t[]>(kReadAheadWindowSize);
    int32_t error = 0;
    const int32_t got = platform::ReadFileAt(handle_, oldest->bytes.get(), kReadAheadWindowSize,
                                             static_cast<uint64_t>(position_), &error);
    oldest->start = position_;
    oldest->length = got < 0 ? 0 : static_cast<uint32_t>(got);
    oldest->lastUse = ++uses_;
    return got < 0 ? nullptr : oldest;
}

int32_t ReadAheadFile::Read(void* buffer, uint32_t count) {
    TP_ASSERT(IsAttached());
    auto* bytes = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    for (bool refilled = false; done < count;) {
        if (Window* window = WindowAtPosition()) {
            const auto offset = static_cast<uint32_t>(position_ - window->start);
            const uint32_t piece = count - done < window->length - offset ? count - done : window->length - offset;
            std::memcpy(bytes + done, window->bytes.get() + offset, piece);
            window->lastUse = ++uses_;
            done += piece;
            position_ += piece;
            continue;
        }
        // A window read from here already ended at the end of the file.
        if (refilled) break;
        // What would fill a window anyway goes straight to the caller.
        if (count - done >= kReadAheadWindowSize) {
            int32_t error = 0;
            const int32_t got = platform::ReadFileAt(handle_, bytes + done, count - done,
                                                     static_cast<uint64_t>(position_), &error);
            if (got < 0) return -1;
            position_ += got;
            return static_cast<int32_t>(done + static_cast<uint32_t>(got));
        }
        if (!Refill()) return -1;
        refilled = true;
    }
    return static_cast<int32_t>(done);
}

int64_t ReadAheadFile::Seek(int64_t offset, int origin) {
    TP_ASSERT(IsAttached());
    int64_t target = 0;
    switch (origin) {
    case platform::SEEK_FROM_START:
        target = offset;
        break;
    case platform::SEEK_FROM_CURRENT:
        target = position_ + offset;
        break;
    case platform::SEEK_FROM_END: {
        // Only the host knows where the end is.
        int32_t error = 0;
        target = platform::SeekFile(handle_, offset, platform::SEEK_FROM_END, &error);
        break;
    }
    default:
        return -1;
    }
    if (target < 0) return -1;
    position_ = target;
    return target;
}

}  // namespace treepak
