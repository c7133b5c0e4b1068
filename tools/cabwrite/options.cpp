#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cabinet/format.h"
#include "cabinet/lzx_format.h"

namespace {

const char kUsage[] =
    "Usage: cabwrite [options] OUTPUT.cab INPUT...\n"
    "\n"
    "Writes the INPUT files, and every file below the INPUT directories, into the\n"
    "cabinet OUTPUT; a cabinet that would pass --max-size is continued in further\n"
    "cabinets of the same set.\n"
    "\n"
    "Options:\n"
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
    "  -v, --verbose                list every file placed and cabinet written\n"
    "  -h, --help                   show this text\n"
    "\n"
    "A file argument is stored under its own name; files found below a directory\n"
    "argument are stored under their path relative to it, with '\\' separators.\n"
    "Exit status: 0 when the cabinets were written, 1 when writing failed (no\n"
    "cabinet is left then), 2 on bad usage.\n";

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *value = v;
    return true;
}

bool ParseType(const std::string& text, uint16_t* type) {
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
    if (text.compare(0, lzx.size(), lzx) == 0 &&
        ParseNumber(text.substr(lzx.size()), LZX_MAX_WINDOW_BITS, &bits) &&
        bits >= LZX_MIN_WINDOW_BITS) {
        *type = MakeLzxType(static_cast<uint32_t>(bits));
        return true;
    }
    return false;
}

}  // namespace

const char* CabwriteUsage() { return kUsage; }

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
        auto number = [&](uint64_t max, uint64_t* out) {
            std::string text;
            if (!value(&text)) return false;
            if (!ParseNumber(text, max, out)) {
                *error = "option " + arg + ": '" + text + "' is not a number from 0 to " +
                         std::to_string(max);
                return false;
            }
            return true;
        };
        uint64_t n = 0;
        std::string text;
        if (arg == "-h" || arg == "--help") {
            options->help = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options->verbose = true;
        } else if (arg == "-f" || arg == "--folder-per-file") {
            options->folderPerFile = true;
        } else if (arg == "-X" || arg == "--execute-all") {
            options->executeAll = true;
        } else if (arg == "-x" || arg == "--execute") {
            if (!value(&text)) return false;
            options->executeNames.insert(text);
        } else if (arg == "-t" || arg == "--type") {
            if (!value(&text)) return false;
            if (!ParseType(text, &options->compressionType)) {
                *error = "unknown compression type '" + text +
                         "' (use none, deflate or lzx:15 to lzx:21)";
                return false;
            }
        } else if (arg == "-m" || arg == "--max-size") {
            if (!number(UINT32_MAX, &n)) return false;
            options->maxCabinetSize = static_cast<uint32_t>(n);
        } else if (arg == "-T" || arg == "--folder-threshold") {
            if (!number(UINT32_MAX, &n)) return false;
            options->folderThreshold = static_cast<uint32_t>(n);
        } else if (arg == "--header-reserve") {
            if (!number(0xFFFF, &n)) return false;
            options->headerReserveSize = static_cast<uint32_t>(n);
        } else if (arg == "--folder-reserve") {
            if (!number(0xFF, &n)) return false;
            options->folderReserveSize = static_cast<uint32_t>(n);
        } else if (arg == "--data-reserve") {
            if (!number(0xFF, &n)) return false;
            options->dataReserveSize = static_cast<uint32_t>(n);
        } else if (arg == "-s" || arg == "--set-id") {
            if (!number(0xFFFF, &n)) return false;
            options->setId = static_cast<uint16_t>(n);
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
    if (options->help) return true;
    if (positional.size() < 2) {
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
