// The reader engine's file callbacks for the expand driver, and the search
// for a cabinet appended to an executable.
//
// The cabinet the user named may be an executable with the cabinet after its
// last section. Handles opened on that file (and only those) carry the
// cabinet's offset in the file: seeks from the start add it, and every
// position reported has it taken off, so the engine sees a plain cabinet.
// Continuation cabinets are plain files read from offset 0.
#pragma once

#include <cstdint>

namespace treepak {

// The file whose handles get the overlay offset (compared ignoring case).
void SetNamedCabinet(const char* path);

// Opening with the create flag makes an output file (never through a
// symbolic link), or an unnamed scratch file for the name "*"; without it
// the file is opened for reading.
int ExpandOpen(const char* path, int flags, int mode);
int32_t ExpandRead(int handle, void* buffer, uint32_t count);
int32_t ExpandWrite(int handle, const void* buffer, uint32_t count);
int ExpandClose(int handle);
int32_t ExpandSeek(int handle, int32_t offset, int origin);

// A handle the write callback accepts and drops every byte of (testing a
// cabinet decodes and checks everything but keeps nothing).
inline constexpr int kDiscardHandle = 0x7FFFFFFF;

// What the callbacks saw last, so that a failure of the engine can be named:
// the host's reason for a failed open or write, and whether the last read
// of a cabinet came up short (the file ended), with where it started and
// where the cabinet ends, both as the engine counts positions.
struct CabinetAccessNote {
    int32_t openError = 0;
    int32_t writeError = 0;
    bool lastReadShort = false;
    int64_t readStart = 0;
    int64_t cabinetEnd = 0;
};
const CabinetAccessNote& LastCabinetAccess();
void ForgetCabinetAccess();

// Offset of a cabinet appended to the executable open on `handle` (at its
// start), or 0 when the file is no executable, when any header field points
// outside the file, or when no cabinet signature begins where the last
// section ends. The handle's position is left anywhere.
int64_t FindOverlayOffset(int32_t handle);

}  // namespace treepak
