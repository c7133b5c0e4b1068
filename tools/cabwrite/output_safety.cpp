#include "output_safety.h"

#include <cerrno>
#include <cstring>

#include "cabinet/format.h"
#include "platform/file_io.h"

namespace treepak {

namespace {

bool StartsWithSignature(const std::string& path) {
    int32_t error = 0;
    const int32_t handle =
        platform::OpenFile(path.c_str(), platform::OPEN_READ_ONLY | platform::OPEN_BINARY, 0, &error);
    if (handle < 0) return false;
    uint8_t head[sizeof CAB_SIGNATURE] = {};
    const int32_t got = platform::ReadFile(handle, head, sizeof head, &error);
    platform::CloseFile(handle, &error);
    return got == static_cast<int32_t>(sizeof head) && std::memcmp(head, CAB_SIGNATURE, sizeof head) == 0;
}

}  // namespace

bool MayWriteCabinet(const std::string& path, const OutputRules& rules, std::string* error) {
    platform::FileStatus status;
    int32_t code = 0;
    if (!platform::GetFileStatus(path.c_str(), &status, &code)) {
        if (code == ENOENT) return true;
        *error = "cannot write " + path + ": " + std::strerror(code);
        return false;
    }
    if (status.isDirectory) {
        *error = "cannot write the cabinet " + path + ": it is a directory";
        return false;
    }
    for (const platform::FileStatus& input : rules.inputs) {
        if (platform::SameFile(status, input)) {
            *error = "refusing to write the cabinet " + path + ": it is also an input";
            return false;
        }
    }
    if (!rules.force && !StartsWithSignature(path)) {
        *error = "refusing to replace " + path + ": it exists and is not a cabinet (use --force to replace it)";
        return false;
    }
    return true;
}

}  // namespace treepak
