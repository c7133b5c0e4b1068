// Names the build driver stores in the cabinet, and the limits checked
// before anything is written.
#pragma once

#include <cstdint>
#include <string>

#include "app/build/file_list.h"
#include "cabinet/format.h"

namespace treepak {

// Cabinets count files and folders in 16 bits; the driver makes at most one
// folder per file.
inline constexpr int BUILD_MAX_FILES = static_cast<int>(CAB_MAX_COUNT);
// A file's folder index of 0xFFFD and above marks a folder continued across
// cabinets, so one cabinet has at most 0xFFFD folders of its own; with a
// folder per file, files past that share the last folder.
inline constexpr int BUILD_MAX_FOLDERS = 0xFFFD;
// Stored names are separated by '\' inside a cabinet, whatever the host's.
inline constexpr char CABINET_SEPARATOR = '\\';

// The name under which a listed path is stored: its bare file name with
// flatten, else the path below the source directory text, whose separators
// become '\'.
std::string StoredNameFor(const std::string& listedPath, const std::string& sourceDir, bool flatten);

// True when the stored name brings the file back under its own name: the
// host name has no '\' of its own, flatten cut nothing but directories, and
// the expand side would not refuse the name as unsafe (a drive prefix such
// as "c:d.txt" first, say).
bool StoresUnchanged(const std::string& listedPath, const std::string& sourceDir, bool flatten);

// Refuses, with an error line, a build that cannot be written: too many
// files, a stored name longer than 255 bytes, or a cabinet path whose name
// or directory does not fit the cabinet parameters.
bool CheckBuildFits(const FileList& list, const std::string& sourceDir, const std::string& cabinetPath,
                    bool flatten);

// Refuses, with an error line, a source file of 4 GiB or more (a cabinet
// records file sizes in 32 bits), and with singleFolder files that together
// reach 4 GiB (positions inside a folder are 32-bit too). The sizes are the
// ones the selection found.
bool CheckSizesFit(const FileList& list, bool singleFolder);

// A list that could not be read back to its end fails the build, with an
// error line.
bool ListReadBack(const FileList& list);

}  // namespace treepak
