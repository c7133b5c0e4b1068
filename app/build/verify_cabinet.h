// The check made before -D deletes anything: the finished cabinet set is
// flushed to stable storage and read back with the reader engine, and every
// listed file must come out of it with exactly the bytes of its source.
#pragma once

#include <string>
#include <vector>

#include "app/build/file_list.h"

namespace treepak {

// Flushes every cabinet file and the directory holding it. False, with the
// reason in *reason, when any flush fails.
bool FlushCabinets(const std::vector<std::string>& cabinets, std::string* reason);

// Reads the set that begins with firstCabinet, following the next-cabinet
// names of its headers. True when the set holds exactly the listed files, in
// list order, each under its stored name (as StoredNameFor gives it for
// sourceDir and flatten) and with its source's bytes; false,
// with the reason in *reason, otherwise (an interrupt included). Nothing is
// written: extracted bytes are compared with the sources as they arrive.
bool VerifyCabinetSet(const std::string& firstCabinet, const FileList& list, const std::string& sourceDir,
                      bool flatten, std::string* reason);

// Tests only: called with the cabinets between the flush and the check, so
// that a test can damage them there. Null (the default) calls nothing.
using BeforeVerifyHook = void (*)(const std::vector<std::string>& cabinets);
void SetBeforeVerifyHook(BeforeVerifyHook hook);
BeforeVerifyHook GetBeforeVerifyHook();

}  // namespace treepak
