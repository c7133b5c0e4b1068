// The cabinet parameters the build driver hands the writer engine.
#pragma once

#include <string>

#include "fci/fci.h"

namespace treepak {

// The tool's sizes: both limits at the largest signed 32-bit value, so a
// build spans a second cabinet only past that size.
inline constexpr uint32_t BUILD_MAX_CABINET_SIZE = 0x7FFFFFFF;
inline constexpr uint32_t BUILD_FOLDER_THRESHOLD = 0x7FFFFFFF;
inline constexpr int32_t BUILD_FIRST_CABINET_NUMBER = 1;
inline constexpr const char* BUILD_DISK_NAME = "KOVRIN";

// The directory prefix of a cabinet path, up to and including its last
// separator ("out/pack.cab" -> "out/", "pack.cab" -> "").
std::string CabinetDirectoryOf(const std::string& cabinetPath);
// True when the cabinet's name and directory fit the parameter fields.
bool CabinetPathFits(const std::string& cabinetPath);
// Fills *params from a cleared record for the cabinet at cabinetPath, which
// must fit (CabinetPathFits).
void FillCabParams(CabParams* params, const std::string& cabinetPath);
// The name of cabinet `number` of a set whose first is firstName: the
// number goes before the extension ("data.CAB", 2 -> "data2.CAB").
std::string NextCabinetName(const std::string& firstName, int32_t number);

}  // namespace treepak
