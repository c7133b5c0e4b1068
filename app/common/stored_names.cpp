#include "app/common/stored_names.h"

#include <cctype>

#include "app/common/path_helpers.h"

namespace treepak {

namespace {

constexpr char kStoredSeparator = '\\';
constexpr char kDriveColon = ':';

bool IsNameSeparator(char c) { return c == kStoredSeparator || c == NATIVE_SEPARATOR; }

}  // namespace

bool IsUnsafeStoredName(std::string_view storedName) {
    if (storedName.empty() || IsNameSeparator(storedName.front())) return true;
    if (storedName.size() >= 2 && storedName[1] == kDriveColon &&
        std::isalpha(static_cast<unsigned char>(storedName[0])))
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < storedName.size() && !IsNameSeparator(storedName[end])) ++end;
        const std::string_view component = storedName.substr(start, end - start);
        if (component.empty() || component == "." || component == "..") return true;
        if (end == storedName.size()) return false;
        start = end + 1;
    }
}

}  // namespace treepak
