#include "inputs.h"

#include <cstring>

#include "platform/directories.h"

namespace treepak {

namespace {

constexpr char kStoredSeparator = '\\';
constexpr char kPathSeparator = '/';

std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
    return path;
}

std::string LastComponent(const std::string& path) {
    const std::string trimmed = Trimmed(path);
    const size_t slash = trimmed.rfind(kPathSeparator);
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string Join(const std::string& prefix, const std::string& name) {
    return prefix.empty() ? name : prefix + kStoredSeparator + name;
}

// A native path as a stored name: leading "./" dropped, '/' turned into '\'.
// What is left is checked against the expansion rules later.
bool StoredNameOfPath(const std::string& path, const std::string& origin, std::string* name, std::string* error) {
    std::string rest = path;
    while (rest.compare(0, 2, "./") == 0) rest.erase(0, rest.find_first_not_of(kPathSeparator, 2));
    if (rest.find(kStoredSeparator) != std::string::npos) {
        *error = origin + ": '" + path + "' has a '\\' in a name, which would read as a directory separator";
        return false;
    }
    for (char& c : rest)
        if (c == kPathSeparator) c = kStoredSeparator;
    *name = rest;
    return true;
}

bool Stat(const std::string& path, const std::string& origin, platform::FileStatus* status, std::string* error) {
    int32_t code = 0;
    if (!platform::GetFileStatus(path.c_str(), status, &code)) {
        *error = (origin.empty() ? "" : origin + ": ") + "cannot read " + path + ": " + std::strerror(code);
        return false;
    }
    if (!status->isRegular && !status->isDirectory) {
        *error = (origin.empty() ? "" : origin + ": ") + path + " is neither a regular file nor a directory";
        return false;
    }
    return true;
}

bool Walk(const std::string& directory, const std::string& prefix, const std::string& origin,
          std::vector<InputFile>* files, std::string* error) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(directory, "*", &entries)) {
        *error = "cannot read directory " + directory;
        return false;
    }
    // The entries come sorted by the bytes of their names.
    for (const platform::DirectoryEntry& e : entries) {
        const std::string path = directory + kPathSeparator + e.name;
        if (e.name.find(kStoredSeparator) != std::string::npos) {
            *error = "'" + path + "' has a '\\' in its name, which would read as a directory separator";
            return false;
        }
        const std::string name = Join(prefix, e.name);
        if (e.isDirectory) {
            if (!Walk(path, name, origin, files, error)) return false;
            continue;
        }
        InputFile file{path, name, origin, {}};
        if (!Stat(path, origin, &file.status, error)) return false;
        files->push_back(file);
    }
    return true;
}

// One input: a file under `name` (derived from the path when empty), or a
// directory whose files go below `name`.
bool AddInput(const std::string& path, const std::string& name, const std::string& origin, bool stripDirs,
              std::vector<InputFile>* files, std::string* error) {
    InputFile file{path, name, origin, {}};
    if (!Stat(path, origin, &file.status, error)) return false;
    if (file.status.isDirectory) return Walk(Trimmed(path), name, origin, files, error);
    if (name.empty()) {
        if (stripDirs)
            file.nameInCabinet = LastComponent(path);
        else if (!StoredNameOfPath(path, origin.empty() ? path : origin, &file.nameInCabinet, error))
            return false;
    }
    files->push_back(file);
    return true;
}

}  // namespace

std::string DescribeInput(const InputFile& file) {
    return file.origin.empty() ? file.path : file.path + " (" + file.origin + ")";
}

bool CollectInputs(const std::vector<ListEntry>& listed, const std::vector<std::string>& arguments,
                   bool stripDirs, std::vector<InputFile>* files, std::string* error) {
    for (const ListEntry& entry : listed) {
        std::string name = entry.name;
        for (char& c : name)
            if (c == kPathSeparator) c = kStoredSeparator;
        if (!AddInput(entry.source, name, entry.origin, stripDirs, files, error)) return false;
    }
    for (const std::string& argument : arguments)
        if (!AddInput(argument, "", "", stripDirs, files, error)) return false;
    return true;
}

}  // namespace treepak
