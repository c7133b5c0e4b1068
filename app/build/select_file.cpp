#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/build/file_selection.h"
#include "app/cli/console.h"
#include "app/common/path_helpers.h"
#include "platform/file_io.h"

FileList SelectedFiles;

namespace {

// A KVF file carries its own compression when bit 0x80 of byte 125 of its
// 128-byte header is set.
constexpr size_t kKvfHeaderSize = 128;
constexpr size_t kKvfCompressedByte = 125;
constexpr uint8_t kKvfCompressedBit = 0x80;

constexpr std::string_view kKvfExtension = ".kvf";
constexpr std::string_view kCabExtension = ".cab";

// Housekeeping files of the host application that never go into a cabinet.
constexpr std::string_view kSkipList[] = {
    "ROLLCALL.DAT", "SKINSET.DAT", "VELDMAP.DAT", "FOLDVIEW.INI", "QRT.INI", "GLIMPSE.DB",
};

// An unreadable or short file leaves the header zero, so it counts as not
// compressed; the build reports it if it cannot be opened then.
bool IsCompressedKvf(const std::string& path) {
    uint8_t header[kKvfHeaderSize] = {};
    int32_t error = 0;
    int32_t handle = platform::OpenFile(path.c_str(), platform::OPEN_BINARY | platform::OPEN_READ_ONLY, 0, &error);
    if (handle >= 0) {
        platform::ReadFile(handle, header, sizeof header, &error);
        platform::CloseFile(handle, &error);
    }
    return (header[kKvfCompressedByte] & kKvfCompressedBit) != 0;
}

bool OnSkipList(std::string_view name) {
    for (std::string_view skipped : kSkipList) {
        if (EqualsIgnoreCase(name, skipped)) return true;
    }
    return false;
}

}  // namespace

void CollectFile(const std::string& path, void* context) {
    auto* list = static_cast<FileList*>(context);
    std::string name(FileNamePart(path));
    std::string_view extension = FileExtension(name);
    if (EqualsIgnoreCase(extension, kKvfExtension) && IsCompressedKvf(path)) {
        std::printf("***** ERROR: trying to add KVFZIPed file to CAB: %s\n", name.c_str());
        return;
    }
    if (EqualsIgnoreCase(extension, kCabExtension)) {
        std::printf("***** ERROR: trying to add CAB file to CAB: %s\n", name.c_str());
        return;
    }
    if (OnSkipList(name)) {
        PrintVerbose("skiping file: %s\n", name.c_str());
        return;
    }
    list->paths.push_back(path);
    list->compressFlags.push_back(1);
}
