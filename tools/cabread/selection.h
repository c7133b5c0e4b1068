// The PATTERN arguments: which stored names they take, and which of them
// took nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace treepak {

struct Selection {
    std::vector<std::string> typed;
    std::vector<std::string> patterns;  // the same with '\' separators
    std::vector<bool> matched;
};

Selection MakeSelection(const std::vector<std::string>& patterns);
// True for every name when there is no pattern; marks the patterns that match.
bool SelectionTakes(Selection* selection, std::string_view storedName);
// Names each pattern that matched nothing on standard error; their number.
size_t ReportUnmatched(const Selection& selection);

}  // namespace treepak
