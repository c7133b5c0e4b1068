#include "name_checks.h"

#include <map>

#include "app/common/stored_names.h"
#include "fci/fci.h"

namespace treepak {

namespace {

// ASCII letters only, whatever the locale.
std::string FoldedCase(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

}  // namespace

bool CheckStoredNames(const std::vector<InputFile>& files, std::string* error) {
    std::map<std::string, const InputFile*> byName;
    for (const InputFile& file : files) {
        const std::string& name = file.nameInCabinet;
        if (IsUnsafeStoredName(name)) {
            *error = DescribeInput(file) + ": the name '" + name +
                     "' would be refused on expansion (absolute, a drive prefix, or an empty, '.' or '..' "
                     "part); give it a NAME in a file list or use --strip-dirs";
            return false;
        }
        if (name.size() >= FCI_NAME_SIZE) {
            *error = DescribeInput(file) + ": the name '" + name + "' is longer than 255 bytes";
            return false;
        }
        const auto [it, added] = byName.emplace(FoldedCase(name), &file);
        if (!added) {
            *error = DescribeInput(*it->second) + " and " + DescribeInput(file) + " would both be stored as '" +
                     it->second->nameInCabinet + "'" +
                     (it->second->nameInCabinet == name ? "" : " (names are compared without regard to case)");
            return false;
        }
    }
    return true;
}

}  // namespace treepak
