#include "write_cabinets.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "block_workers.h"
#include "lzx_searcher.h"
#include "cabinet/format.h"
#include "platform/file_io.h"

namespace treepak {

namespace {

void ReportFailure(const char* operation, const std::string& subject, const ErrorRecord& errors,
                   const WriterClient& client) {
    // A callback that refused to go on has said why.
    if (errors.errorCode == FCIERR_ABORT && !client.failure.empty()) {
        std::fprintf(stderr, "cabwrite: %s\n", client.failure.c_str());
        return;
    }
    std::fprintf(stderr, "cabwrite: %s failed%s%s: code %d [%s]", operation, subject.empty() ? "" : " for ",
                 subject.c_str(), errors.errorCode, FCIErrorText(errors.errorCode));
    if (errors.systemError != 0) std::fprintf(stderr, " (%s)", std::strerror(errors.systemError));
    if (!client.failure.empty()) std::fprintf(stderr, " (%s)", client.failure.c_str());
    std::fputc('\n', stderr);
}

// A failed run leaves no part of a set behind.
void RemoveCreatedCabinets(const WriterClient& client) {
    for (const std::string& path : client.cabinetsCreated) {
        int32_t error = 0;
        platform::DeleteFile(path.c_str(), &error);
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
    p->setId = static_cast<uint16_t>(o.setId);
    return CopyField(p->diskName, o.diskName, "disk name") &&
           CopyField(p->cabinetName, client.cabinetNames[0], "cabinet name") &&
           CopyField(p->cabinetPath, client.directory, "cabinet directory");
}

}  // namespace

uint32_t SmallestUsefulCabinet(const CabwriteOptions& o, const std::string& firstName) {
    const bool reserved = o.headerReserveSize != 0 || o.folderReserveSize != 0 || o.dataReserveSize != 0;
    const uint32_t header = CFHEADER_SIZE + (reserved ? CFHEADER_RESERVE_FIELDS_SIZE + o.headerReserveSize : 0);
    const uint32_t entry = CFFILE_SIZE + static_cast<uint32_t>(firstName.size()) + 1;
    return header + CFFOLDER_SIZE + o.folderReserveSize + entry + CFDATA_SIZE + o.dataReserveSize + 1;
}

bool WriteCabinets(const CabwriteOptions& o, const std::vector<InputFile>& files, WriterClient* client) {
    CabParams params;
    if (!FillParams(o, *client, &params)) return false;
    const WriterCallbacks& cb = CabwriteCallbacks();
    ErrorRecord errors{};
    FCIContext* context = FCICreate(&errors, cb.filePlaced, cb.alloc, cb.free, cb.open, cb.read, cb.write, cb.close,
                                    cb.seek, cb.remove, cb.getTempFile, &params, client);
    if (context == nullptr) {
        ReportFailure("FCICreate()", "", errors, *client);
        return false;
    }
    std::unique_ptr<CabwriteWorkers> workers = StartWorkers(o, files, context);
    LzxSearcherPtr searcher = StartLzxSearcher(o, files, context);
    bool ok = true;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        const InputFile& f = files[i];
        if (workers != nullptr) {
            if (client->folderPlaced && !o.folderPerFile) RestartWorkers(workers.get(), i);
            client->workers = workers->precompressor.get();
            client->workers->BeforeFile(static_cast<int>(i));
        }
        client->folderPlaced = false;
        if (o.folderPerFile && i > 0 && !FCIFlushFolder(context, cb.getNextCabinet, cb.status)) {
            ReportFailure("FCIFlushFolder()", "", errors, *client);
            ok = false;
            break;
        }
        const bool execute = o.executeAll || o.executeNames.count(f.nameInCabinet) != 0;
        client->current = &f;
        if (!FCIAddFile(context, f.path.c_str(), f.nameInCabinet.c_str(), execute ? 1 : 0, cb.getNextCabinet,
                        cb.status, cb.getOpenInfo, o.compressionType)) {
            ReportFailure("FCIAddFile()", f.path, errors, *client);
            ok = false;
        }
    }
    if (workers != nullptr) {
        workers->precompressor.reset();
        client->workers = nullptr;
    }
    if (ok && !FCIFlushCabinet(context, 0, cb.getNextCabinet, cb.status)) {
        ReportFailure("FCIFlushCabinet()", "", errors, *client);
        ok = false;
    }
    searcher.reset();
    if (!FCIDestroy(context) && ok) {
        ReportFailure("FCIDestroy()", "", errors, *client);
        ok = false;
    }
    if (!ok) RemoveCreatedCabinets(*client);
    return ok;
}

}  // namespace treepak
