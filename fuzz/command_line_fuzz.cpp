// The command-line splitter and the option loop over arbitrary lines, then
// the path helpers on the first argument left after the options, and the
// stored-name check on every argument: a name taken as safe must join the
// destination without leaving it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/options.h"
#include "app/cli/split_command_line.h"
#include "app/common/path_helpers.h"
#include "app/expand/expand_names.h"

namespace treepak {

namespace {

constexpr size_t kLongestLine = 4096;
constexpr std::string_view kDestination = "dest";

bool HasComponent(std::string_view path, std::string_view component) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (path.substr(start, end - start) == component) return true;
        start = end + 1;
    }
    return false;
}

void CheckStoredName(const std::string& name) {
    if (IsUnsafeStoredName(name)) return;
    const std::string path = OutputPathFor(kDestination, name);
    if (path.rfind(std::string(kDestination) + "/", 0) != 0) std::abort();
    if (HasComponent(path, "..") || HasComponent(path, ".") || path.find("//") != std::string::npos) std::abort();
}

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    if (size > kLongestLine) return 0;
    std::vector<char> line(data, data + size);
    line.push_back('\0');
    const size_t length = std::strlen(line.data());

    std::vector<std::string> argv;
    int argc = -1;
    SplitCommandLine(line.data(), &argc, &argv);
    if (argc != static_cast<int>(argv.size()) || argv.empty() || argv[0] != ARGV0_PLACEHOLDER) std::abort();
    size_t characters = 0;
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i].find('"') != std::string::npos || argv[i].find('\0') != std::string::npos) std::abort();
        characters += argv[i].size();
    }
    if (characters > length) std::abort();

    std::vector<const char*> pointers;
    for (const std::string& a : argv) pointers.push_back(a.c_str());
    ToolOptions options;
    const int first = ParseOptions(argc, pointers.data(), &options);
    if (first < 1 || first > argc) std::abort();
    // An unknown option answers argc and leaves nothing to run; otherwise
    // the loop stops exactly at the first argument that is no option.
    if (first < argc) {
        if (argv[first][0] == OPTION_PREFIX) std::abort();
        for (int i = 1; i < first; ++i)
            if (argv[i][0] != OPTION_PREFIX) std::abort();
    }

    if (first < argc) {
        std::string source = argv[first];
        if (HasWildcard(source)) {
            const std::string_view name = FileNamePart(source);
            if (name.size() > source.size()) std::abort();
            CutToDirectory(&source);
        }
        (void)FileExtension(source);
        (void)JoinPath(source, "x");
        (void)EndsWithIgnoreCase(source, ".cab");
    }
    for (size_t i = 1; i < argv.size(); ++i) CheckStoredName(argv[i]);
    return 0;
}
