// Files held in memory for the engines' and decoders' file callbacks in the
// fuzz targets: contents by name, and handles with a position each. The
// callers are only ever given handles the table opened, so any other
// handle traps.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace treepak::memfiles {

extern std::map<std::string, std::vector<uint8_t>> files;

// Empties the table and forgets every handle.
void Reset();
// -1 when the file does not exist and is not to be created; creating
// empties an existing file.
int32_t Open(const std::string& name, bool create);
int32_t Read(int32_t handle, void* buffer, uint32_t count);
int32_t Write(int32_t handle, const void* buffer, uint32_t count);
int32_t Close(int32_t handle);
// Origins as the file callbacks take them; -1 for a place before the start.
int32_t Seek(int32_t handle, int32_t offset, int origin);
bool AnyOpen();

}  // namespace treepak::memfiles
