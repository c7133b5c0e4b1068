// The files cabwrite stores: file arguments under their own names, and the
// files below directory arguments under their relative paths.
#pragma once

#include <string>
#include <vector>

struct InputFile {
    std::string path;           // where to read it
    std::string nameInCabinet;  // '\'-separated below a directory argument
};

// False with a message when an input cannot be read.
bool CollectInputs(const std::vector<std::string>& inputs, std::vector<InputFile>* files,
                   std::string* error);
