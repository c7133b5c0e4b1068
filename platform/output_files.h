// Files the expand side creates: extracted files, which must never be
// written through a symbolic link planted where the file goes, and nameless
// scratch files that vanish when closed.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

// Creates or truncates a regular file for writing, with the usual
// permissions (read and write for everyone the umask allows). Fails, and
// follows nothing, when the last component of the path is a symbolic link.
// Handle, or -1 with errno in *error.
int32_t CreateOutputFile(const char* path, int32_t* error);
// The same, but an existing file (or link) at the path is left alone and
// the call fails with EEXIST.
int32_t CreateNewOutputFile(const char* path, int32_t* error);

// A second handle on standard output, so that closing it leaves standard
// output open. Handle, or -1 with errno in *error.
int32_t DuplicateStandardOutput(int32_t* error);

// A read-write file in the temporary directory that has no name and is gone
// once closed. Handle, or -1 with errno in *error.
int32_t OpenAnonymousTempFile(int32_t* error);

// Copies standard input into a new anonymous temporary file (see above) and
// returns its handle, positioned at the start, or -1 with errno in *error.
int32_t SpoolStandardInput(int32_t* error);

}  // namespace platform

}  // namespace treepak
