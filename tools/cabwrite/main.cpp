// cabwrite: writes files and directory trees into a cabinet, or a set of
// cabinets, through the writer engine, with every cabinet parameter, the
// compression type, folder breaks and the execute flag set from the command
// line. Everything that can be refused is refused before the first byte is
// written: unusable parameters, unreadable inputs, names an expansion would
// refuse or two files would share, and outputs that hold something else.
#include <cstdio>

#include "file_list.h"
#include "inputs.h"
#include "options.h"
#include "name_checks.h"
#include "platform/interrupts.h"
#include "write_cabinets.h"
#include "writer_client.h"

namespace treepak {

namespace {

constexpr int EXIT_WRITE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "cabwrite: %s\n", message.c_str());
    return status;
}

void SetUpClient(const CabwriteOptions& o, WriterClient* client) {
    const size_t slash = o.output.rfind('/');
    client->directory = slash == std::string::npos ? "" : o.output.substr(0, slash + 1);
    client->cabinetNames.push_back(slash == std::string::npos ? o.output : o.output.substr(slash + 1));
    client->nextPattern = o.nextPattern.empty() ? DefaultNextPattern(client->cabinetNames[0]) : o.nextPattern;
    client->diskPattern = o.diskPattern;
    client->verbose = o.verbose;
    client->dryRun = o.dryRun;
    client->outputRules.force = o.force;
    client->attributes = o.attributes;
    client->times.fixed = o.hasMtime;
    client->times.fixedTime = o.mtime;
}

void PrintSummary(const std::vector<InputFile>& files, const WriterClient& client) {
    uint64_t bytesIn = 0;
    for (const InputFile& f : files) bytesIn += static_cast<uint64_t>(f.status.size);
    std::printf("%zu cabinet%s, %u folder%s, %zu file%s, %llu bytes in, %llu bytes out\n", client.cabinetsWritten,
                client.cabinetsWritten == 1 ? "" : "s", client.folders, client.folders == 1 ? "" : "s", files.size(),
                files.size() == 1 ? "" : "s", static_cast<unsigned long long>(bytesIn),
                static_cast<unsigned long long>(client.bytesOut));
}

int Run(const CabwriteOptions& o) {
    WriterClient client;
    SetUpClient(o, &client);
    std::string error;
    if (client.cabinetNames[0].empty()) return Fail(EXIT_USAGE, "'" + o.output + "' names no file");
    if (!ReadSourceDateEpoch(&client.times, &error)) return Fail(EXIT_USAGE, error);
    // Arguments given the wrong way round name an existing file first: say
    // so before anything else about them.
    if (!MayWriteCabinet(o.output, client.outputRules, &error)) return Fail(EXIT_WRITE_FAILED, error);

    std::vector<ListEntry> listed;
    for (const std::string& list : o.fileLists) {
        if (!ReadFileList(list, &listed, &error)) return Fail(EXIT_WRITE_FAILED, error);
        platform::FileStatus status;
        int32_t code = 0;
        if (list != "-" && platform::GetFileStatus(list.c_str(), &status, &code))
            client.outputRules.inputs.push_back(status);
    }
    std::vector<InputFile> files;
    if (!CollectInputs(listed, o.inputs, o.stripDirs, &files, &error) || !CheckStoredNames(files, &error))
        return Fail(EXIT_WRITE_FAILED, error);
    if (files.empty()) return Fail(EXIT_WRITE_FAILED, "no file to store");
    for (const InputFile& f : files) client.outputRules.inputs.push_back(f.status);

    const uint32_t smallest = SmallestUsefulCabinet(o, files[0].nameInCabinet);
    if (o.maxCabinetSize != 0 && o.maxCabinetSize < smallest)
        return Fail(EXIT_USAGE, "--max-size " + std::to_string(o.maxCabinetSize) +
                                    " is too small to hold one data block: with these reserve sizes and names a "
                                    "cabinet needs at least " + std::to_string(smallest) + " bytes");
    // Again, now that the inputs are known.
    if (!MayWriteCabinet(o.output, client.outputRules, &error)) return Fail(EXIT_WRITE_FAILED, error);

    if (!WriteCabinets(o, files, &client)) return EXIT_WRITE_FAILED;
    if (o.verbose) PrintSummary(files, client);
    return 0;
}

}  // namespace

}  // namespace treepak

int main(int argc, char** argv) {
    using namespace treepak;
    CabwriteOptions options;
    std::string error;
    if (!ParseCabwriteOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "cabwrite: %s\nTry 'cabwrite --help' for more information.\n", error.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(CabwriteUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(CabwriteVersion(), stdout);
        return 0;
    }
    // SIGINT and SIGTERM make the writer fail its operation, so that its
    // temporary files and the cabinets written so far are removed; a
    // file-size limit is then an ordinary write failure.
    platform::InstallInterruptHandlers();
    platform::IgnoreFileSizeLimitSignal();
    return Run(options);
}
