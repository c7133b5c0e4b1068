// Unique names for temporary files. The directory is the one named by TMP
// if it exists, else by TMPDIR, else /tmp, else the current directory; the
// file name starts with the caller's prefix.
#pragma once

#include <string>

namespace platform {

std::string TempDirectory();
// A name in TempDirectory() that no file has at the moment of the call;
// false when none could be found. Callers still create the file with the
// exclusive flag, since another process may take the name first.
bool MakeTempName(const char* prefix, std::string* name);

}  // namespace platform
