#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cabinet/format.h"
#include "cabinet/lzx_format.h"
#include "treepak/version.h"

namespace treepak {

namespace {

const char kUsage[] =
    "Usage: cabwrite [options] OUTPUT.cab [INPUT...]\n"
    "\n"
    "Writes the files named in the file lists, then the INPUT files and every\n"
    "file below the INPUT directories, into the cabinet OUTPUT; a cabinet that\n"
    "would pass --max-size is continued in further cabinets of the same set.\n"
    "\n"
    "Options:\n"
    "  -L, --files-from FILE        store the files FILE lists ('-': standard\n"
    "                               input), one per line: SOURCE, or SOURCE, a tab\n"
    "                               and the NAME it gets in the cabinet; blank lines\n"
    "                               and lines starting with '#' are skipped\n"
    "      --strip-dirs             store file arguments under their bare names\n"
    "                               instead of their relative paths\n"
    "  -t, --type TYPE              compression: none, deflate (default), or lzx:N\n"
    "                               with a window of 2^N bytes, N from 15 to 21\n"
    "  -m, --max-size BYTES         largest size of one cabinet file\n"
    "                               (default 0, which means 134217727)\n"
    "  -T, --folder-threshold BYTES close a folder once its compressed data pass\n"
    "                               BYTES (default 2147483647)\n"
    "  -f, --folder-per-file        start a new folder for every file\n"
    "  -x, --execute NAME           mark the file stored as NAME to be run after\n"
    "                               extraction (may be repeated)\n"
    "  -X, --execute-all            mark every file to be run after extraction\n"
    "      --mtime WHEN             store WHEN as every file's time: YYYY-MM-DD,\n"
    "                               'YYYY-MM-DD HH:MM:SS' (UTC) or @SECONDS\n"
    "      --attributes MODE        keep (default: the files' own), archive (the\n"
    "                               archive bit only) or none\n"
    "      --header-reserve BYTES   reserve area in every cabinet header (0-65535)\n"
    "      --folder-reserve BYTES   reserve area in every folder record (0-255)\n"
    "      --data-reserve BYTES     reserve area in every data block (0-255)\n"
    "  -s, --set-id N               set identifier of the cabinets (0-65535)\n"
    "  -d, --disk NAME              disk name of the first cabinet (default DISK1)\n"
    "  -D, --disk-pattern PATTERN   disk names of further cabinets, %d standing for\n"
    "                               the cabinet's number (default DISK%d)\n"
    "  -n, --next PATTERN           file names of further cabinets, %d standing for\n"
    "                               the cabinet's number, 2 for the second (default:\n"
    "                               the number before OUTPUT's extension, as in\n"
    "                               data2.cab); they are written beside OUTPUT\n"
    "      --force                  replace an existing OUTPUT that is no cabinet\n"
    "      --dry-run                list what would be stored (name, size, folder,\n"
    "                               cabinet) and write nothing\n"
    "  -v, --verbose                list every file placed and cabinet written, and\n"
    "                               end with a summary\n"
    "  -h, --help                   show this text\n"
    "      --version                show the version\n"
    "\n"
    "A relative file argument is stored under its path ('/' becomes '\\'); files\n"
    "below a directory are stored under their path relative to it, directories\n"
    "walked in byte order of names. Names that an expansion would refuse\n"
    "(absolute, '..', '.' or empty parts, a drive prefix) and names two files\n"
    "would share (case ignored) stop the run before anything is written.\n"
    "With SOURCE_DATE_EPOCH set, no stored time is later than that moment, and\n"
    "stored times are UTC, as with --mtime.\n"
    "Exit status: 0 when the cabinets were written, 1 when writing failed or an\n"
    "input or output was refused (no cabinet is left then), 2 on bad usage or\n"
    "impossible parameters.\n";

const char kVersion[] = TREEPAK_VERSION_LINE("cabwrite");

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *value = v;
    return true;
}

// False with a message for an unknown type or a window outside 15 to 21.
bool ParseType(const std::string& option, const std::string& text, uint16_t* type, std::string* error) {
    if (text == "none") {
        *type = COMPRESS_NONE;
        return true;
    }
    if (text == "deflate") {
        *type = COMPRESS_DEFLATE;
        return true;
    }
    const std::string lzx = "lzx:";
    uint64_t bits = 0;
    if (text.compare(0, lzx.size(), lzx) != 0 || !ParseNumber(text.substr(lzx.size()), UINT32_MAX, &bits)) {
        *error = "unknown compression type '" + text + "' (use none, deflate or lzx:15 to lzx:21)";
        return false;
    }
    if (bits < LZX_MIN_WINDOW_BITS || bits > LZX_MAX_WINDOW_BITS) {
        *error = option + " " + text + ": the LZX window must be 2^15 to 2^21 bytes (lzx:15 to lzx:21)";
        return false;
    }
    *type = MakeLzxType(static_cast<uint32_t>(bits));
    return true;
}

// The options whose values have a field of limited width; a value past it is
// an impossible parameter with a message of its own.
struct BoundedOption {
    const char* shortName;  // may be empty
    const char* longName;
    uint64_t max;
    const char* limit;  // why max is the most
    uint32_t CabwriteOptions::*field;
};
constexpr BoundedOption kBounded[] = {
    {"-m", "--max-size", UINT32_MAX, "cabinet sizes are 32-bit numbers", &CabwriteOptions::maxCabinetSize},
    {"-T", "--folder-threshold", UINT32_MAX, "folder sizes are 32-bit numbers", &CabwriteOptions::folderThreshold},
    {"", "--header-reserve", CAB_MAX_HEADER_RESERVE, "the cabinet header's 16-bit reserve size field holds 0 to 65535",
     &CabwriteOptions::headerReserveSize},
    {"", "--folder-reserve", CAB_MAX_ITEM_RESERVE, "the 8-bit reserve size field of a folder record holds 0 to 255",
     &CabwriteOptions::folderReserveSize},
    {"", "--data-reserve", CAB_MAX_ITEM_RESERVE, "the 8-bit reserve size field of a data block holds 0 to 255",
     &CabwriteOptions::dataReserveSize},
    {"-s", "--set-id", 0xFFFF, "set ids are 16-bit, 0 to 65535", &CabwriteOptions::setId},
};

// Options without a value: each sets its flag.
struct FlagOption {
    const char* shortName;  // may be empty
    const char* longName;
    bool CabwriteOptions::*flag;
};
constexpr FlagOption kFlags[] = {
    {"-h", "--help", &CabwriteOptions::help},
    {"", "--version", &CabwriteOptions::version},
    {"-v", "--verbose", &CabwriteOptions::verbose},
    {"-f", "--folder-per-file", &CabwriteOptions::folderPerFile},
    {"-X", "--execute-all", &CabwriteOptions::executeAll},
    {"", "--strip-dirs", &CabwriteOptions::stripDirs},
    {"", "--force", &CabwriteOptions::force},
    {"", "--dry-run", &CabwriteOptions::dryRun},
};

// The entry of `table` the argument names, or null.
template <typename Table>
auto Find(const Table& table, const std::string& arg) -> decltype(&table[0]) {
    for (const auto& option : table)
        if (arg == option.longName || (option.shortName[0] != '\0' && arg == option.shortName)) return &option;
    return nullptr;
}

}  // namespace

const char* CabwriteUsage() { return kUsage; }
const char* CabwriteVersion() { return kVersion; }

bool ExpandNamePattern(const std::string& pattern, int32_t number, std::string* name) {
    name->clear();
    int numbers = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name->push_back(pattern[i]);
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            name->push_back('%');
        } else if (i + 1 < pattern.size() && pattern[i + 1] == 'd') {
            *name += std::to_string(number);
            ++numbers;
        } else {
            return false;
        }
        ++i;
    }
    return numbers == 1;
}

std::string DefaultNextPattern(const std::string& cabinetName) {
    std::string escaped;
    for (char c : cabinetName) {
        escaped.push_back(c);
        if (c == '%') escaped.push_back('%');
    }
    const size_t dot = escaped.rfind('.');
    if (dot == std::string::npos || dot == 0) return escaped + "%d";
    return escaped.substr(0, dot) + "%d" + escaped.substr(dot);
}

bool ParseCabwriteOptions(int argc, char** argv, CabwriteOptions* options, std::string* error) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" is the same as "--name value".
        std::string inlineValue;
        bool hasInline = false;
        if (arg.compare(0, 2, "--") == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        auto value = [&](std::string* out) {
            if (hasInline) {
                *out = inlineValue;
                return true;
            }
            if (i + 1 >= argc) {
                *error = "option " + arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::string text;
        if (const FlagOption* flag = Find(kFlags, arg)) {
            if (hasInline) {
                *error = "option " + arg + " takes no value";
                return false;
            }
            options->*(flag->flag) = true;
        } else if (const BoundedOption* bounded = Find(kBounded, arg)) {
            uint64_t n = 0;
            if (!value(&text)) return false;
            if (!ParseNumber(text, UINT64_MAX, &n)) {
                *error = "option " + arg + ": '" + text + "' is not a number";
                return false;
            }
            if (n > bounded->max) {
                *error = arg + " " + text + " is out of range: " + bounded->limit;
                return false;
            }
            options->*(bounded->field) = static_cast<uint32_t>(n);
        } else if (arg == "-L" || arg == "--files-from") {
            if (!value(&text)) return false;
            options->fileLists.push_back(text);
        } else if (arg == "-x" || arg == "--execute") {
            if (!value(&text)) return false;
            options->executeNames.insert(text);
        } else if (arg == "-t" || arg == "--type") {
            if (!value(&text) || !ParseType(arg, text, &options->compressionType, error)) return false;
        } else if (arg == "--mtime") {
            if (!value(&text)) return false;
            if (!ParseTimeText(text, &options->mtime)) {
                *error = "--mtime '" + text + "' is no time (use YYYY-MM-DD, 'YYYY-MM-DD HH:MM:SS' or @SECONDS)";
                return false;
            }
            options->hasMtime = true;
        } else if (arg == "--attributes") {
            if (!value(&text)) return false;
            if (!ParseAttributeMode(text, &options->attributes)) {
                *error = "--attributes '" + text + "' is none of keep, archive or none";
                return false;
            }
        } else if (arg == "-d" || arg == "--disk") {
            if (!value(&options->diskName)) return false;
        } else if (arg == "-D" || arg == "--disk-pattern") {
            if (!value(&options->diskPattern)) return false;
        } else if (arg == "-n" || arg == "--next") {
            if (!value(&options->nextPattern)) return false;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
    }
    if (options->help || options->version) return true;
    if (positional.empty() || (positional.size() < 2 && options->fileLists.empty())) {
        *error = positional.empty() ? "no output cabinet given" : "no input given";
        return false;
    }
    options->output = positional[0];
    options->inputs.assign(positional.begin() + 1, positional.end());
    std::string probe;
    if (!options->nextPattern.empty() && !ExpandNamePattern(options->nextPattern, 2, &probe)) {
        *error = "--next pattern '" + options->nextPattern + "' needs exactly one %d";
        return false;
    }
    if (!ExpandNamePattern(options->diskPattern, 2, &probe)) {
        *error = "--disk-pattern '" + options->diskPattern + "' needs exactly one %d";
        return false;
    }
    return true;
}

}  // namespace treepak
