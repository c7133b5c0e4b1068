#include "app/expand/expand_names.h"

#include "app/common/path_helpers.h"
#include "platform/attributes.h"
#include "platform/directories.h"

namespace treepak {

namespace {

constexpr char kStoredSeparator = '\\';

}  // namespace

std::string OutputPathFor(std::string_view destination, std::string_view storedName) {
    std::string name(storedName);
    for (char& c : name)
        if (c == kStoredSeparator) c = NATIVE_SEPARATOR;
    return JoinPath(destination, name);
}

std::string ParentDirectory(const std::string& path) {
    std::string parent = path;
    CutToDirectory(&parent);
    return parent;
}

void CreateDirectoryPath(const std::string& path) {
    const std::string parent = ParentDirectory(path);
    // A root or drive cuts to itself: stop there.
    if (!parent.empty() && parent != path && !platform::IsDirectoryPath(parent.c_str()))
        CreateDirectoryPath(parent);
    platform::CreateDirectory(path.c_str());
}

}  // namespace treepak
