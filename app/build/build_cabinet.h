// The build driver: turns the selected files into one cabinet (or, past the
// largest cabinet size, a chained set) through the writer engine.
#pragma once

#include <string>
#include <vector>

#include "app/build/file_list.h"

namespace treepak {

// Builds the cabinet at ToolPaths.cabinetPath from the files listed below
// ToolPaths.source. The call may clear files' compress flags (the
// store-or-compress decision). Returns nonzero on success; on failure the
// reason has been printed.
int BuildCabinet(FileList* list, bool autoCompress);

// The cabinet files the last successful BuildCabinet wrote, first to last
// (more than one only past the largest cabinet size); empty after a failure.
const std::vector<std::string>& CabinetsOfLastBuild();
// Deletes each of the files; results are ignored.
void DeleteFiles(const std::vector<std::string>& paths);

}  // namespace treepak
