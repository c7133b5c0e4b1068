#include "app/build/build_names.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/cli/console.h"

#include "app/build/build_report.h"
#include "app/build/cab_params.h"
#include "app/common/diagnostics.h"
#include "app/common/path_helpers.h"
#include "app/common/stored_names.h"
#include "fci/fci.h"

namespace treepak {

namespace {

// The path below the source directory text: the walk put exactly one
// separator after that text, unless it already ended with one.
std::string PathBelowSource(const std::string& listedPath, const std::string& sourceDir) {
    size_t skip = sourceDir.size();
    if (!sourceDir.empty() && !IsPathSeparator(sourceDir.back())) ++skip;
    return skip < listedPath.size() ? listedPath.substr(skip) : std::string();
}

std::string WithCabinetSeparators(std::string name) {
    for (char& c : name) {
        if (c == NATIVE_SEPARATOR) c = CABINET_SEPARATOR;
    }
    return name;
}

}  // namespace

std::string StoredNameFor(const std::string& listedPath, const std::string& sourceDir, bool flatten) {
    return WithCabinetSeparators(flatten ? std::string(FileNamePart(listedPath))
                                         : PathBelowSource(listedPath, sourceDir));
}

bool StoresUnchanged(const std::string& listedPath, const std::string& sourceDir, bool flatten) {
    // The host's own name of the file: below the source, or with flatten
    // everything after the last native separator (the stored name cuts at
    // '\' and ':' as well).
    const std::string hostName = flatten ? listedPath.substr(listedPath.rfind(NATIVE_SEPARATOR) + 1)
                                         : PathBelowSource(listedPath, sourceDir);
    const std::string storedName = StoredNameFor(listedPath, sourceDir, flatten);
    // A '\' of the host name would come back as a directory separator.
    return hostName.find(CABINET_SEPARATOR) == std::string::npos &&
           storedName == WithCabinetSeparators(hostName) && !IsUnsafeStoredName(storedName);
}

bool CheckBuildFits(const FileList& list, const std::string& sourceDir, const std::string& cabinetPath,
                    bool flatten) {
    const int count = list.count();
    if (count > BUILD_MAX_FILES) {
        PrintLine("Too many files for one cabinet: %d (at most %d)\n", count, BUILD_MAX_FILES);
        ReportFailure("%d files selected: a cabinet holds at most %d; nothing written", count, BUILD_MAX_FILES);
        return false;
    }
    FileList::Reader files(list);
    for (FileList::Entry file{}; files.Next(&file);) {
        std::string name = StoredNameFor(file.path, sourceDir, flatten);
        if (name.size() >= FCI_NAME_SIZE) {
            PrintLine("Name too long to store in a cabinet (more than %u bytes): %s\n", FCI_NAME_SIZE - 1,
                        name.c_str());
            ReportFailure("%s: stored name longer than %u bytes; nothing written", file.path, FCI_NAME_SIZE - 1);
            return false;
        }
    }
    if (!ListReadBack(list)) return false;
    if (!CabinetPathFits(cabinetPath)) {
        PrintLine("Cabinet name or directory too long (more than %u bytes): %s\n", FCI_NAME_SIZE - 1,
                    cabinetPath.c_str());
        ReportFailure("%s: cabinet name or directory longer than %u bytes; nothing written", cabinetPath.c_str(),
                      FCI_NAME_SIZE - 1);
        return false;
    }
    return true;
}

bool CheckSizesFit(const FileList& list, bool singleFolder) {
    constexpr uint64_t kLargestSize = UINT32_MAX;
    uint64_t folderTotal = 0;
    FileList::Reader files(list);
    for (FileList::Entry file{}; files.Next(&file);) {
        if (file.size > kLargestSize) {
            PrintLine("File too large to store in a cabinet (4 GiB or more): %s\n", file.path);
            ReportFailure("%s: 4 GiB or more, too large for a cabinet; nothing written", file.path);
            return false;
        }
        folderTotal += file.size;
    }
    if (!ListReadBack(list)) return false;
    if (singleFolder && folderTotal > kLargestSize) {
        PrintLine("Files too large together for one folder (4 GiB or more); build without -X\n");
        ReportFailure("the selected files add up to 4 GiB or more, too much for one folder; nothing written");
        return false;
    }
    return true;
}

bool ListReadBack(const FileList& list) {
    if (list.ReadError() == 0) return true;
    PrintLine("Cannot read back the list of files: %s\n", std::strerror(list.ReadError()));
    ReportFailure("the list of selected files could not be read back from its temporary file: %s",
                  std::strerror(list.ReadError()));
    return false;
}

}  // namespace treepak
