// The files cabwrite stores and the names they get: a listed file under the
// list's NAME, or else under the path it was given by (its bare name with
// --strip-dirs); the files below a directory under their path relative to
// it, after the list's NAME when there is one. Stored names separate
// directories with '\'.
#pragma once

#include <string>
#include <vector>

#include "file_list.h"
#include "platform/file_status.h"

namespace treepak {

struct InputFile {
    std::string path;           // where to read it
    std::string nameInCabinet;  // '\'-separated
    std::string origin;         // the list line that named it, if any
    platform::FileStatus status;
};

// "path" or "path (list:line)", for messages.
std::string DescribeInput(const InputFile& file);

// The listed entries in list order, then the arguments. False with a
// message when an input cannot be read or its name cannot be stored as it
// is (a '\' inside a file name would read as a separator).
bool CollectInputs(const std::vector<ListEntry>& listed, const std::vector<std::string>& arguments,
                   bool stripDirs, std::vector<InputFile>* files, std::string* error);

}  // namespace treepak
