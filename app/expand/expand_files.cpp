// Executable layout relied on: "MZ" at offset 0 and the offset of the PE
// header at 60; the PE header is the signature "PE\0\0", a 20-byte file
// header (section count at 6, optional header size at 20 of the whole) and
// the optional header, followed by 40-byte section headers whose raw data
// size and file position sit at 16 and 20.
#include "app/expand/expand_files.h"

#include <array>
#include <cstring>
#include <string>

#include "app/common/path_helpers.h"
#include "app/expand/expand_read_ahead.h"
#include "cabinet/bytes.h"
#include "cabinet/format.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"
#include "platform/output_files.h"

namespace treepak {

namespace {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint16_t kDosSignature = 0x5A4D;  // "MZ"
constexpr uint32_t kPeOffsetField = 60;
constexpr uint32_t kPeHeaderReadSize = 248;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kSectionCountField = 6;
constexpr uint32_t kOptionalSizeField = 20;
constexpr uint32_t kOptionalHeaderStart = 24;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kRawSizeField = 16;
constexpr uint32_t kRawOffsetField = 20;
constexpr int64_t kLargestEnginePosition = INT32_MAX;

constexpr const char* kScratchFileName = "*";
// The engine holds two handles on a cabinet (file table and data blocks);
// a handle opened when every slot is taken is read without read-ahead.
constexpr int kMaxCabinetHandles = 4;

// A handle opened for reading: its read-ahead and, for the named cabinet,
// the offset of the cabinet in the file.
struct CabinetHandle {
    ReadAheadFile file;
    int64_t overlay = 0;
    int64_t size = 0;
};

struct NamedCabinetState {
    std::string path;
    std::array<CabinetHandle, kMaxCabinetHandles> cabinets;
    CabinetAccessNote note;
};

NamedCabinetState& State() {
    static NamedCabinetState state;
    return state;
}

CabinetHandle* CabinetOf(int handle) {
    for (CabinetHandle& cabinet : State().cabinets)
        if (cabinet.file.IsAttached() && cabinet.file.Handle() == handle) return &cabinet;
    return nullptr;
}

CabinetHandle* FreeCabinetSlot() {
    for (CabinetHandle& cabinet : State().cabinets)
        if (!cabinet.file.IsAttached()) return &cabinet;
    return nullptr;
}

bool ReadExactly(int32_t handle, uint8_t* buffer, uint32_t count) {
    int32_t error = 0;
    return platform::ReadFile(handle, buffer, count, &error) == static_cast<int32_t>(count);
}

bool ReadAt(int32_t handle, int64_t position, uint8_t* buffer, uint32_t count) {
    int32_t error = 0;
    return platform::SeekFile(handle, position, platform::SEEK_FROM_START, &error) == position &&
           ReadExactly(handle, buffer, count);
}

}  // namespace

const CabinetAccessNote& LastCabinetAccess() { return State().note; }
void ForgetCabinetAccess() { State().note = CabinetAccessNote{}; }

void SetNamedCabinet(const char* path) {
    State().path = path;
    for (CabinetHandle& cabinet : State().cabinets) {
        cabinet.file.Detach();
        cabinet.overlay = 0;
    }
}

int64_t FindOverlayOffset(int32_t handle) {
    int32_t error = 0;
    const int64_t fileSize = platform::SeekFile(handle, 0, platform::SEEK_FROM_END, &error);
    if (fileSize < 0) return 0;

    uint8_t dosHeader[kDosHeaderSize];
    if (!ReadAt(handle, 0, dosHeader, sizeof(dosHeader)) || cab::LoadLe16(dosHeader) != kDosSignature) return 0;
    const int64_t peOffset = cab::LoadLe32(dosHeader + kPeOffsetField);
    if (peOffset + kPeHeaderReadSize > fileSize) return 0;

    uint8_t peHeader[kPeHeaderReadSize];
    if (!ReadAt(handle, peOffset, peHeader, sizeof(peHeader)) || cab::LoadLe32(peHeader) != kPeSignature) return 0;
    const uint32_t sectionCount = cab::LoadLe16(peHeader + kSectionCountField);
    const uint32_t optionalSize = cab::LoadLe16(peHeader + kOptionalSizeField);
    if (sectionCount == 0) return 0;
    const int64_t lastSection = peOffset + kOptionalHeaderStart + optionalSize +
                                static_cast<int64_t>(sectionCount - 1) * kSectionHeaderSize;
    if (lastSection + kSectionHeaderSize > fileSize) return 0;

    uint8_t section[kSectionHeaderSize];
    if (!ReadAt(handle, lastSection, section, sizeof(section))) return 0;
    const int64_t overlay =
        static_cast<int64_t>(cab::LoadLe32(section + kRawSizeField)) + cab::LoadLe32(section + kRawOffsetField);
    if (overlay <= 0 || overlay + CFHEADER_SIZE > fileSize || overlay > kLargestEnginePosition) return 0;

    // Only a cabinet where the sections end counts as one.
    uint8_t signature[sizeof(CAB_SIGNATURE)];
    if (!ReadAt(handle, overlay, signature, sizeof(signature)) ||
        std::memcmp(signature, CAB_SIGNATURE, sizeof(signature)) != 0)
        return 0;
    return overlay;
}

int ExpandOpen(const char* path, int flags, int /*mode: output files get the usual permissions*/) {
    int32_t error = 0;
    if (flags & platform::OPEN_CREATE) {
        if (std::strcmp(path, kScratchFileName) == 0) return platform::OpenAnonymousTempFile(&error);
        return platform::CreateOutputFile(path, &error);
    }
    const int handle = platform::OpenFile(path, platform::OPEN_READ_ONLY, 0, &error);
    if (handle < 0) {
        State().note.openError = error;
        return handle;
    }
    const int64_t overlay = EqualsIgnoreCase(path, State().path) ? FindOverlayOffset(handle) : 0;
    if (CabinetHandle* slot = FreeCabinetSlot()) {
        slot->file.Attach(handle, overlay);
        slot->overlay = overlay;
        slot->size = platform::SeekFile(handle, 0, platform::SEEK_FROM_END, &error);
        return handle;
    }
    // Without a slot the host's position serves, and an appended cabinet
    // cannot be read at all.
    if (overlay != 0 || platform::SeekFile(handle, 0, platform::SEEK_FROM_START, &error) != 0) {
        platform::CloseFile(handle, &error);
        return -1;
    }
    return handle;
}

int32_t ExpandRead(int handle, void* buffer, uint32_t count) {
    if (CabinetHandle* cabinet = CabinetOf(handle)) {
        CabinetAccessNote& note = State().note;
        note.readStart = cabinet->file.Seek(0, platform::SEEK_FROM_CURRENT) - cabinet->overlay;
        const int32_t got = cabinet->file.Read(buffer, count);
        note.lastReadShort = got >= 0 && static_cast<uint32_t>(got) < count;
        note.cabinetEnd = cabinet->size - cabinet->overlay;
        return got;
    }
    int32_t error = 0;
    return platform::ReadFile(handle, buffer, count, &error);
}

int32_t ExpandWrite(int handle, const void* buffer, uint32_t count) {
    // Failing the write makes the engine abort the extraction at once.
    if (platform::InterruptRequested()) return -1;
    if (handle == kDiscardHandle) return static_cast<int32_t>(count);
    int32_t error = 0;
    const int32_t written = platform::WriteFile(handle, buffer, count, &error);
    if (written != static_cast<int32_t>(count)) State().note.writeError = error;
    return written;
}

int ExpandClose(int handle) {
    if (handle == kDiscardHandle) return 0;
    if (CabinetHandle* cabinet = CabinetOf(handle)) {
        cabinet->file.Detach();
        cabinet->overlay = 0;
    }
    int32_t error = 0;
    return platform::CloseFile(handle, &error);
}

int32_t ExpandSeek(int handle, int32_t offset, int origin) {
    CabinetHandle* cabinet = CabinetOf(handle);
    const int64_t overlay = cabinet ? cabinet->overlay : 0;
    int64_t target = offset;
    if (origin == platform::SEEK_FROM_START) target += overlay;
    int32_t error = 0;
    const int64_t position = cabinet ? cabinet->file.Seek(target, origin)
                                     : platform::SeekFile(handle, target, origin, &error);
    if (position < 0) return -1;
    // Positions before the appended cabinet do not exist for the engine.
    const int64_t seen = position - overlay;
    if (seen < 0 || seen > kLargestEnginePosition) return -1;
    return static_cast<int32_t>(seen);
}

}  // namespace treepak
