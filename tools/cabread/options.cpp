#include "options.h"

#include <getopt.h>

namespace treepak {

namespace {

const char kUsage[] =
    "Usage: cabread -l|--list [--json] [-v] CABINET [PATTERN...]\n"
    "       cabread -t|--test [-v|-q] CABINET [PATTERN...]\n"
    "       cabread -x|--extract [-d DIR] [--keep] [-v|-q] CABINET [PATTERN...]\n"
    "       cabread -p|--pipe CABINET PATTERN...\n"
    "\n"
    "Lists, tests or extracts the files of a cabinet, and of the cabinets that\n"
    "continue it. CABINET is any file holding a cabinet (a cabinet appended to\n"
    "an executable too), or - for standard input.\n"
    "\n"
    "Modes:\n"
    "  -l, --list          one line per file: size, date and time, attributes\n"
    "                      (rhsa, x run after extraction, u UTF-8 name),\n"
    "                      compression and name; then a total line\n"
    "      --json          the listing as one JSON document\n"
    "  -t, --test          decode every file and check every checksum\n"
    "  -x, --extract       extract the files (all, or those matching a PATTERN)\n"
    "  -p, --pipe          write the matching files' bytes to standard output\n"
    "\n"
    "Options:\n"
    "  -d, --directory DIR extract under DIR (default: the current directory)\n"
    "      --keep          leave existing files alone instead of replacing them\n"
    "  -v, --verbose       more detail for each file\n"
    "  -q, --quiet         print only problems\n"
    "  -h, --help          show this text\n"
    "      --version       show the version\n"
    "\n"
    "A PATTERN matches stored names: * and ? are wildcards, / and \\ both\n"
    "separate directories, and ASCII case is ignored. A pattern that matches\n"
    "nothing counts as a failure. Damaged files are named and left out; the\n"
    "other files are still tested or extracted.\n"
    "\n"
    "Exit status: 0 when everything asked for was done, 1 when some files failed\n"
    "(damaged, unsafe names, not writable, a pattern matched nothing) and the\n"
    "rest was done, 2 on bad usage or when no cabinet could be read at all.\n";

constexpr int kOptionJson = 256;
constexpr int kOptionKeep = 257;
constexpr int kOptionVersion = 258;

const option kLongOptions[] = {
    {"list", no_argument, nullptr, 'l'},        {"test", no_argument, nullptr, 't'},
    {"extract", no_argument, nullptr, 'x'},     {"pipe", no_argument, nullptr, 'p'},
    {"json", no_argument, nullptr, kOptionJson}, {"directory", required_argument, nullptr, 'd'},
    {"keep", no_argument, nullptr, kOptionKeep}, {"verbose", no_argument, nullptr, 'v'},
    {"quiet", no_argument, nullptr, 'q'},       {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kOptionVersion}, {nullptr, 0, nullptr, 0},
};

bool SetMode(CabreadOptions* options, CabreadMode mode, std::string* error) {
    if (options->mode != CabreadMode::None && options->mode != mode) {
        *error = "only one of -l, -t, -x and -p may be given";
        return false;
    }
    options->mode = mode;
    return true;
}

bool CheckCombination(const CabreadOptions& o, std::string* error) {
    if (o.mode == CabreadMode::None) *error = "one of -l, -t, -x and -p is needed";
    else if (o.cabinet.empty()) *error = "no cabinet given";
    else if (o.json && o.mode != CabreadMode::List) *error = "--json goes with --list";
    else if ((o.keep || !o.destination.empty()) && o.mode != CabreadMode::Extract)
        *error = "-d and --keep go with --extract";
    else if (o.mode == CabreadMode::Pipe && o.patterns.empty()) *error = "--pipe needs a PATTERN";
    else if (o.verbose && o.quiet) *error = "-v and -q exclude each other";
    return error->empty();
}

}  // namespace

const char* CabreadUsage() { return kUsage; }

bool ParseCabreadOptions(int argc, char** argv, CabreadOptions* options, std::string* error) {
    *options = CabreadOptions{};
    error->clear();
    opterr = 0;
    optind = 0;  // a fresh scan, with GNU argument permutation
    for (;;) {
        const int c = getopt_long(argc, argv, ":ltxpd:vqh", kLongOptions, nullptr);
        if (c == -1) break;
        switch (c) {
        case 'l': if (!SetMode(options, CabreadMode::List, error)) return false; break;
        case 't': if (!SetMode(options, CabreadMode::Test, error)) return false; break;
        case 'x': if (!SetMode(options, CabreadMode::Extract, error)) return false; break;
        case 'p': if (!SetMode(options, CabreadMode::Pipe, error)) return false; break;
        case 'd': options->destination = optarg; break;
        case kOptionJson: options->json = true; break;
        case kOptionKeep: options->keep = true; break;
        case 'v': options->verbose = true; break;
        case 'q': options->quiet = true; break;
        case 'h': options->help = true; return true;
        case kOptionVersion: options->version = true; return true;
        case ':': *error = std::string("option '") + argv[optind - 1] + "' needs an argument"; return false;
        default: *error = std::string("unknown option '") + argv[optind - 1] + "'"; return false;
        }
    }
    if (optind < argc) options->cabinet = argv[optind++];
    for (; optind < argc; ++optind) options->patterns.emplace_back(argv[optind]);
    return CheckCombination(*options, error);
}

}  // namespace treepak
