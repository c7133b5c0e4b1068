#include "platform/positional_io.h"

#include <unistd.h>

#include "platform/transfer_loop.h"

namespace treepak {

namespace platform {

int32_t ReadFileAt(int32_t handle, void* buffer, uint32_t count, uint64_t offset, int32_t* error) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    return TransferWhole<Direction::READ>(count, error, [&](uint32_t done) {
        return ::pread(handle, bytes + done, count - done, static_cast<off_t>(offset + done));
    });
}

int32_t WriteFileAt(int32_t handle, const void* buffer, uint32_t count, uint64_t offset, int32_t* error) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return TransferWhole<Direction::WRITE>(count, error, [&](uint32_t done) {
        return ::pwrite(handle, bytes + done, count - done, static_cast<off_t>(offset + done));
    });
}

}  // namespace platform

}  // namespace treepak
