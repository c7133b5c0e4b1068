#include "app/build/cab_params.h"

#include <cstring>

#include "app/common/path_helpers.h"
#include "cabinet/tp_assert.h"

namespace treepak {

namespace {

void CopyName(char (&field)[FCI_NAME_SIZE], std::string_view text) {
    TP_ASSERT(text.size() < FCI_NAME_SIZE);
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
}

}  // namespace

std::string CabinetDirectoryOf(const std::string& cabinetPath) {
    return cabinetPath.substr(0, cabinetPath.size() - FileNamePart(cabinetPath).size());
}

bool CabinetPathFits(const std::string& cabinetPath) {
    return FileNamePart(cabinetPath).size() < FCI_NAME_SIZE && CabinetDirectoryOf(cabinetPath).size() < FCI_NAME_SIZE;
}

void FillCabParams(CabParams* params, const std::string& cabinetPath) {
    std::memset(params, 0, sizeof *params);
    params->maxCabinetSize = BUILD_MAX_CABINET_SIZE;
    params->folderThreshold = BUILD_FOLDER_THRESHOLD;
    params->cabinetNumber = BUILD_FIRST_CABINET_NUMBER;
    CopyName(params->diskName, BUILD_DISK_NAME);
    CopyName(params->cabinetName, FileNamePart(cabinetPath));
    CopyName(params->cabinetPath, CabinetDirectoryOf(cabinetPath));
}

std::string NextCabinetName(const std::string& firstName, int32_t number) {
    std::string_view extension = FileExtension(firstName);
    std::string stem = firstName.substr(0, firstName.size() - extension.size());
    return stem + std::to_string(number) + std::string(extension);
}

}  // namespace treepak
