#include "platform/positional_io.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

int32_t ReadFileAt(int32_t handle, void* buffer, uint32_t count, uint64_t offset, int32_t* error) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(handle, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(done);
}

int32_t WriteFileAt(int32_t handle, const void* buffer, uint32_t count, uint64_t offset, int32_t* error) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(handle, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return done > 0 ? static_cast<int32_t>(done) : -1;
        }
        done += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(done);
}

}  // namespace platform
