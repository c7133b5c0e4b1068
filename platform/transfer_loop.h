// The loop around read(2) and write(2) (or their positional forms) that
// moves a whole count of bytes: a call interrupted by a signal is repeated,
// a short one continues where it stopped. `step(done)` moves the bytes from
// offset `done` on and returns the call's result.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstdint>

namespace treepak {

namespace platform {

enum class Direction { READ, WRITE };

// Bytes moved; a read stops early at the end of the file. After an error
// -1, or for a write the bytes written before it when there were any.
template <Direction kDirection, typename Step>
int32_t TransferWhole(uint32_t count, int32_t* error, Step step) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = step(done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return kDirection == Direction::WRITE && done > 0 ? static_cast<int32_t>(done) : -1;
        }
        if (n == 0 && kDirection == Direction::READ) break;
        done += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(done);
}

}  // namespace platform

}  // namespace treepak
