// Unique names for temporary files. The directory is the one named by TMP
// if it exists, else by TMPDIR, else /tmp, else the current directory; the
// file name starts with the caller's prefix.
#pragma once

#include <cstdint>
#include <string>

namespace treepak {

namespace platform {

std::string TempDirectory();
// A name in TempDirectory() that no file has at the moment of the call;
// false when none could be found. Callers still create the file with the
// exclusive flag, since another process may take the name first.
bool MakeTempName(const char* prefix, std::string* name);
// A random name of the same form, in `directory`, without looking at the
// file system.
std::string RandomTempName(const std::string& directory, const char* prefix);
// A random name in TempDirectory() without looking whether a file has it,
// for callers that ask many times a second and only ever create the file
// exclusively (which is the real check). The directory is looked up again
// only when TMP or TMPDIR has changed since the last call.
std::string UncheckedTempName(const char* prefix);
// A read-write file in TempDirectory() that no name leads to: created
// exclusively under a fresh name that is removed at once, so the file goes
// with its last handle however the process ends. -1 when none could be made.
int32_t OpenUnnamedTempFile(const char* prefix);

}  // namespace platform

}  // namespace treepak
