// The plain file callbacks of the writer engine, shared by every client
// that drives it. The engine's temporary and cabinet files go through the
// writer files table (small temporary files stay in memory, cabinet writes
// are buffered); source files, opened by WriterOpenSource, are host files
// read straight through the platform layer. A client wraps these with what
// is its own (interrupt checks, tracking the cabinets it created) or passes
// them to the engine as they are; the context is not used.
#pragma once

#include <cstdint>

#include "platform/source_files.h"

namespace treepak {

int32_t WriterOpen(const char* path, int32_t openFlags, int32_t mode, int32_t* error, void* context);
int32_t WriterRead(int32_t handle, void* buffer, uint32_t count, int32_t* error, void* context);
int32_t WriterWrite(int32_t handle, const void* buffer, uint32_t count, int32_t* error, void* context);
int32_t WriterClose(int32_t handle, int32_t* error, void* context);
int32_t WriterSeek(int32_t handle, int32_t offset, int origin, int32_t* error, void* context);
int32_t WriterDelete(const char* path, int32_t* error, void* context);

// Puts a fresh temporary name starting with `prefix` into the buffer; 0
// when none fits.
int32_t WriterTempName(const char* prefix, char* buffer, int32_t bufferSize);

// The engine opens its temporary files exclusively and the cabinet file with
// truncation: true for the latter.
bool IsCabinetOpen(int32_t openFlags);

// Opens a source file and reports its packed time, the attribute bits it
// brings into the cabinet (with the UTF-8 name bit added on request) and
// its stamp. -1 when it cannot be opened, with the system's reason in
// *openError (left 0 for a handle the table could not tell from its own).
int32_t WriterOpenSource(const char* sourcePath, uint16_t* date, uint16_t* time, uint16_t* attributes,
                         bool nameIsUtf8, platform::FileStamp* stamp, int32_t* openError);

}  // namespace treepak
