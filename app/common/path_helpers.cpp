#include "app/common/path_helpers.h"

#include "platform/attributes.h"

namespace treepak {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr char kDriveSeparator = ':';

size_t FileNameStart(std::string_view path) {
    size_t i = path.find_last_of("\\/:");
    return i == std::string_view::npos ? 0 : i + 1;
}

}  // namespace

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

bool IsDirectory(const std::string& path) { return platform::IsDirectoryPath(path.c_str()); }

std::string_view FileNamePart(std::string_view path) { return path.substr(FileNameStart(path)); }

std::string_view FileExtension(std::string_view s) {
    size_t dot = s.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : s.substr(dot);
}

void CutToDirectory(std::string* path) {
    size_t start = FileNameStart(*path);
    if (start >= 2 && IsPathSeparator((*path)[start - 1]) && (*path)[start - 2] != kDriveSeparator) {
        path->resize(start - 1);
    } else {
        path->resize(start);
    }
}

std::string JoinPath(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!name.empty()) {
        if (!out.empty() && !IsPathSeparator(out.back())) out += NATIVE_SEPARATOR;
        out += name;
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool EndsWithIgnoreCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && EqualsIgnoreCase(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace treepak
