#include "selection.h"

#include "platform/wildcard.h"
#include "report.h"

namespace treepak {

namespace {

constexpr char kStoredSeparator = '\\';

// Stored names use '\'; people type '/' as often.
std::string WithStoredSeparators(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '/') c = kStoredSeparator;
    return out;
}

}  // namespace

Selection MakeSelection(const std::vector<std::string>& patterns) {
    Selection selection;
    selection.typed = patterns;
    for (const std::string& pattern : patterns) selection.patterns.push_back(WithStoredSeparators(pattern));
    selection.matched.assign(patterns.size(), false);
    return selection;
}

bool SelectionTakes(Selection* selection, std::string_view storedName) {
    if (selection->patterns.empty()) return true;
    const std::string name = WithStoredSeparators(storedName);
    bool taken = false;
    for (size_t i = 0; i < selection->patterns.size(); ++i) {
        if (platform::MatchesWildcard(selection->patterns[i], name)) {
            selection->matched[i] = true;
            taken = true;
        }
    }
    return taken;
}

size_t ReportUnmatched(const Selection& selection) {
    size_t unmatched = 0;
    for (size_t i = 0; i < selection.patterns.size(); ++i) {
        if (selection.matched[i]) continue;
        ReportReadProblem(selection.typed[i] + ": no file in the cabinet matches");
        ++unmatched;
    }
    return unmatched;
}

}  // namespace treepak
