// The build driver: turns the selected files into one cabinet (or, past the
// largest cabinet size, a chained set) through the writer engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace treepak {

// Builds the cabinet at ToolPaths.cabinetPath from paths listed below
// ToolPaths.source. compressFlags entries may be cleared by the call (the
// store-or-compress decision). knownSizes, when given, holds each file's
// size as the selection found it (else each is measured). Returns nonzero on
// success; on failure the reason has been printed.
int BuildCabinet(int count, const char* const* paths, int* compressFlags, bool autoCompress,
                 const uint64_t* knownSizes = nullptr);

// The cabinet files the last successful BuildCabinet wrote, first to last
// (more than one only past the largest cabinet size); empty after a failure.
const std::vector<std::string>& CabinetsOfLastBuild();
// Deletes each of the files; results are ignored.
void DeleteFiles(const std::vector<std::string>& paths);

}  // namespace treepak
