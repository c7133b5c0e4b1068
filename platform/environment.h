// Reading the process environment.
#pragma once

#include <string>

namespace treepak {

namespace platform {

// False when the variable is not set.
bool GetEnvironmentValue(const char* name, std::string* value);

}  // namespace platform

}  // namespace treepak
