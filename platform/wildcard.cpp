#include "platform/wildcard.h"

namespace treepak {

namespace platform {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Iterative matcher with one backtrack point (the last '*'): linear in
// practice and never recursive, so long names cannot blow the stack.
bool MatchPlain(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t starPattern = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    if (MatchPlain(pattern, name)) return true;
    constexpr std::string_view kAnyExtension = ".*";
    if (pattern.size() >= kAnyExtension.size() && pattern.ends_with(kAnyExtension) &&
        name.find('.') == std::string_view::npos) {
        return MatchPlain(pattern.substr(0, pattern.size() - kAnyExtension.size()), name);
    }
    return false;
}

}  // namespace platform

}  // namespace treepak
