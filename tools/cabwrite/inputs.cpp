#include "inputs.h"

#include "platform/attributes.h"
#include "platform/directories.h"

namespace {

// Stored names separate directories with a backslash, as the cabinet
// format's readers expect.
constexpr char kStoredSeparator = '\\';

bool Walk(const std::string& directory, const std::string& prefix, std::vector<InputFile>* files,
          std::string* error) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(directory, "*", &entries)) {
        *error = "cannot read directory " + directory;
        return false;
    }
    for (const platform::DirectoryEntry& e : entries) {
        const std::string path = directory + "/" + e.name;
        const std::string name = prefix.empty() ? e.name : prefix + kStoredSeparator + e.name;
        if (e.isDirectory) {
            if (!Walk(path, name, files, error)) return false;
        } else {
            files->push_back({path, name});
        }
    }
    return true;
}

std::string LastComponent(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CollectInputs(const std::vector<std::string>& inputs, std::vector<InputFile>* files,
                   std::string* error) {
    for (const std::string& input : inputs) {
        uint32_t attributes = 0;
        if (!platform::GetFileAttributes(input.c_str(), &attributes)) {
            *error = "cannot find " + input;
            return false;
        }
        if (platform::IsDirectoryPath(input.c_str())) {
            std::string directory = input;
            while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
            if (!Walk(directory, "", files, error)) return false;
        } else {
            files->push_back({input, LastComponent(input)});
        }
    }
    return true;
}
