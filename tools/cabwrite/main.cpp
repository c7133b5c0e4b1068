// cabwrite: writes files and directory trees into a cabinet, or a set of
// cabinets, through the writer engine, with every cabinet parameter, the
// compression type, folder breaks and the execute flag set from the command
// line.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fci/fci.h"
#include "inputs.h"
#include "options.h"
#include "platform/file_io.h"
#include "writer_client.h"

namespace {

constexpr int EXIT_WRITE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

void ReportFailure(const char* operation, const std::string& subject, const ErrorRecord& errors,
                   const WriterClient& client) {
    std::fprintf(stderr, "cabwrite: %s failed%s%s: code %d [%s]", operation,
                 subject.empty() ? "" : " for ", subject.c_str(), errors.errorCode,
                 WriterErrorText(errors.errorCode));
    if (errors.systemError != 0) std::fprintf(stderr, " (%s)", std::strerror(errors.systemError));
    if (!client.failure.empty()) std::fprintf(stderr, " (%s)", client.failure.c_str());
    std::fputc('\n', stderr);
}

// A failed run leaves no part of a set behind.
void RemoveWrittenCabinets(const WriterClient& client) {
    for (size_t i = 0; i < client.cabinetsWritten && i < client.cabinetNames.size(); ++i) {
        int32_t error = 0;
        platform::DeleteFile((client.directory + client.cabinetNames[i]).c_str(), &error);
    }
}

bool CopyField(char* field, const std::string& value, const char* what) {
    if (value.size() >= FCI_NAME_SIZE) {
        std::fprintf(stderr, "cabwrite: %s '%s' is longer than 255 bytes\n", what, value.c_str());
        return false;
    }
    std::memcpy(field, value.c_str(), value.size() + 1);
    return true;
}

bool FillParams(const CabwriteOptions& o, const WriterClient& client, CabParams* p) {
    *p = CabParams{};
    p->maxCabinetSize = o.maxCabinetSize;
    p->folderThreshold = o.folderThreshold;
    p->headerReserveSize = o.headerReserveSize;
    p->folderReserveSize = o.folderReserveSize;
    p->dataReserveSize = o.dataReserveSize;
    p->cabinetNumber = 1;
    p->setId = o.setId;
    return CopyField(p->diskName, o.diskName, "disk name") &&
           CopyField(p->cabinetName, client.cabinetNames[0], "cabinet name") &&
           CopyField(p->cabinetPath, client.directory, "cabinet directory");
}

int Run(const CabwriteOptions& o) {
    std::vector<InputFile> files;
    std::string error;
    if (!CollectInputs(o.inputs, &files, &error)) {
        std::fprintf(stderr, "cabwrite: %s\n", error.c_str());
        return EXIT_WRITE_FAILED;
    }
    for (const InputFile& f : files) {
        if (f.nameInCabinet.size() >= FCI_NAME_SIZE) {
            std::fprintf(stderr, "cabwrite: name '%s' is longer than 255 bytes\n",
                         f.nameInCabinet.c_str());
            return EXIT_WRITE_FAILED;
        }
    }

    WriterClient client;
    const size_t slash = o.output.rfind('/');
    client.directory = slash == std::string::npos ? "" : o.output.substr(0, slash + 1);
    client.cabinetNames.push_back(slash == std::string::npos ? o.output : o.output.substr(slash + 1));
    client.nextPattern =
        o.nextPattern.empty() ? DefaultNextPattern(client.cabinetNames[0]) : o.nextPattern;
    client.diskPattern = o.diskPattern;
    client.verbose = o.verbose;
    CabParams params;
    if (client.cabinetNames[0].empty()) {
        std::fprintf(stderr, "cabwrite: '%s' names no file\n", o.output.c_str());
        return EXIT_USAGE;
    }
    if (!FillParams(o, client, &params)) return EXIT_WRITE_FAILED;

    const WriterCallbacks& cb = CabwriteCallbacks();
    ErrorRecord errors{};
    FCIContext* context =
        FCICreate(&errors, cb.filePlaced, cb.alloc, cb.free, cb.open, cb.read, cb.write, cb.close,
                  cb.seek, cb.remove, cb.getTempFile, &params, &client);
    if (context == nullptr) {
        ReportFailure("FCICreate()", "", errors, client);
        return EXIT_WRITE_FAILED;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        const InputFile& f = files[i];
        if (o.folderPerFile && i > 0 && !FCIFlushFolder(context, cb.getNextCabinet, cb.status)) {
            ReportFailure("FCIFlushFolder()", "", errors, client);
            ok = false;
            break;
        }
        const bool execute = o.executeAll || o.executeNames.count(f.nameInCabinet) != 0;
        client.storedNameIsUtf8 = std::any_of(f.nameInCabinet.begin(), f.nameInCabinet.end(),
                                              [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (!FCIAddFile(context, f.path.c_str(), f.nameInCabinet.c_str(), execute ? 1 : 0,
                        cb.getNextCabinet, cb.status, cb.getOpenInfo, o.compressionType)) {
            ReportFailure("FCIAddFile()", f.path, errors, client);
            ok = false;
        }
    }
    if (ok && !FCIFlushCabinet(context, 0, cb.getNextCabinet, cb.status)) {
        ReportFailure("FCIFlushCabinet()", "", errors, client);
        ok = false;
    }
    if (!FCIDestroy(context) && ok) {
        ReportFailure("FCIDestroy()", "", errors, client);
        ok = false;
    }
    if (!ok) {
        RemoveWrittenCabinets(client);
        return EXIT_WRITE_FAILED;
    }
    if (o.verbose)
        std::printf("%zu files in %zu cabinet%s\n", files.size(), client.cabinetsWritten,
                    client.cabinetsWritten == 1 ? "" : "s");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CabwriteOptions options;
    std::string error;
    if (!ParseCabwriteOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "cabwrite: %s\nTry 'cabwrite --help' for more information.\n",
                     error.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(CabwriteUsage(), stdout);
        return 0;
    }
    return Run(options);
}
