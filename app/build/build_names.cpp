#include "app/build/build_names.h"

#include <cstdint>
#include <cstdio>

#include "app/build/build_report.h"
#include "app/build/cab_params.h"
#include "app/common/path_helpers.h"
#include "fci/fci.h"

std::string StoredNameFor(const std::string& listedPath, const std::string& sourceDir, bool flatten) {
    std::string name;
    if (flatten) {
        name = std::string(FileNamePart(listedPath));
    } else {
        // The walk put exactly one separator after the source text, unless
        // that text already ended with one.
        size_t skip = sourceDir.size();
        if (!sourceDir.empty() && !IsPathSeparator(sourceDir.back())) ++skip;
        name = skip < listedPath.size() ? listedPath.substr(skip) : std::string();
    }
    for (char& c : name) {
        if (c == NATIVE_SEPARATOR) c = CABINET_SEPARATOR;
    }
    return name;
}

bool CheckBuildFits(int count, const std::string* paths, const std::string& sourceDir,
                    const std::string& cabinetPath, bool flatten) {
    if (count > BUILD_MAX_FILES) {
        std::printf("Too many files for one cabinet: %d (at most %d)\n", count, BUILD_MAX_FILES);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        std::string name = StoredNameFor(paths[i], sourceDir, flatten);
        if (name.size() >= FCI_NAME_SIZE) {
            std::printf("Name too long to store in a cabinet (more than %u bytes): %s\n", FCI_NAME_SIZE - 1,
                        name.c_str());
            return false;
        }
    }
    if (!CabinetPathFits(cabinetPath)) {
        std::printf("Cabinet name or directory too long (more than %u bytes): %s\n", FCI_NAME_SIZE - 1,
                    cabinetPath.c_str());
        return false;
    }
    return true;
}

bool CheckSizesFit(int count, const std::string* paths, bool singleFolder, std::vector<uint64_t>* sizes) {
    constexpr int64_t kLargestSize = UINT32_MAX;
    int64_t folderTotal = 0;
    sizes->assign(count, 0);
    for (int i = 0; i < count; ++i) {
        int64_t size = FileSizeOf(paths[i].c_str());
        (*sizes)[i] = static_cast<uint64_t>(size);
        if (size > kLargestSize) {
            std::printf("File too large to store in a cabinet (4 GiB or more): %s\n", paths[i].c_str());
            return false;
        }
        folderTotal += size;
    }
    if (singleFolder && folderTotal > kLargestSize) {
        std::printf("Files too large together for one folder (4 GiB or more); build without -X\n");
        return false;
    }
    return true;
}
