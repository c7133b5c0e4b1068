// Files the expand side creates: extracted files, which must never be
// written through a symbolic link planted where the file goes, and nameless
// scratch files that vanish when closed.
#pragma once

#include <cstdint>

namespace platform {

// Creates or truncates a regular file for writing, with the usual
// permissions (read and write for everyone the umask allows). Fails, and
// follows nothing, when the last component of the path is a symbolic link.
// Handle, or -1 with errno in *error.
int32_t CreateOutputFile(const char* path, int32_t* error);

// A read-write file in the temporary directory that has no name and is gone
// once closed. Handle, or -1 with errno in *error.
int32_t OpenAnonymousTempFile(int32_t* error);

}  // namespace platform
