#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/build/build_names.h"
#include "app/build/file_selection.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "app/common/diagnostics.h"
#include "app/common/path_helpers.h"
#include "platform/file_io.h"

namespace treepak {

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

// A KVF file is opened to read its header; a short file leaves the header
// zero, so it counts as not compressed. Every other file's size and
// readability come from the listing, without an open.
struct Probe {
    int32_t error = 0;
    uint64_t size = 0;
    bool compressedKvf = false;
};

Probe ProbeKvfFile(const std::string& path) {
    Probe probe;
    const int32_t handle =
        platform::OpenFile(path.c_str(), platform::OPEN_BINARY | platform::OPEN_READ_ONLY, 0, &probe.error);
    if (handle < 0) return probe;
    uint8_t header[kKvfHeaderSize] = {};
    int32_t error = 0;
    platform::ReadFile(handle, header, sizeof header, &error);
    probe.compressedKvf = (header[kKvfCompressedByte] & kKvfCompressedBit) != 0;
    const int64_t end = platform::SeekFile(handle, 0, platform::SEEK_FROM_END, &error);
    probe.size = end < 0 ? 0 : static_cast<uint64_t>(end);
    platform::CloseFile(handle, &error);
    return probe;
}

bool OnSkipList(std::string_view name) {
    for (std::string_view skipped : kSkipList) {
        if (EqualsIgnoreCase(name, skipped)) return true;
    }
    return false;
}

// With flatten, the first file of a stored name keeps it.
bool ClaimFlatName(FileList* list, const std::string& path) {
    const std::string storedName = StoredNameFor(path, Paths.source, true);
    const auto [claimed, isNew] = list->flatNames.try_emplace(storedName, path);
    if (!isNew) {
        ReportProblem("%s: left out: %s is stored under the same name %s", path.c_str(), claimed->second.c_str(),
                      storedName.c_str());
    }
    return isNew;
}

}  // namespace

void CollectFile(const std::string& path, const platform::DirectoryEntry& file, void* context) {
    auto* list = static_cast<FileList*>(context);
    ++list->found;
    std::string name(FileNamePart(path));
    std::string_view extension = FileExtension(name);
    // An unreadable KVF file counts as not compressed here and is reported
    // below like any other.
    const bool isKvf = EqualsIgnoreCase(extension, kKvfExtension);
    const Probe probe = isKvf ? ProbeKvfFile(path) : Probe{file.readError, file.size, false};
    if (probe.compressedKvf) {
        PrintLine("***** ERROR: trying to add KVFZIPed file to CAB: %s\n", name.c_str());
        ReportProblem("%s: left out: a compressed KVF file", path.c_str());
        return;
    }
    if (EqualsIgnoreCase(extension, kCabExtension)) {
        PrintLine("***** ERROR: trying to add CAB file to CAB: %s\n", name.c_str());
        ReportProblem("%s: left out: a cabinet file", path.c_str());
        return;
    }
    if (OnSkipList(name)) {
        PrintVerbose("skiping file: %s\n", name.c_str());
        return;
    }
    if (probe.error != 0) {
        ReportProblem("%s: cannot open: %s (not in the cabinet)", path.c_str(), std::strerror(probe.error));
        return;
    }
    if (!StoresUnchanged(path, Paths.source, Options.flatten)) {
        ReportProblem("%s: left out: its name would not come back the same from a cabinet", path.c_str());
        return;
    }
    if (Options.flatten && !ClaimFlatName(list, path)) return;
    list->Add(path, probe.size);
}

}  // namespace treepak
