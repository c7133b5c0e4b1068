#include "platform/environment.h"

#include <cstdlib>

namespace treepak {

namespace platform {

bool GetEnvironmentValue(const char* name, std::string* value) {
    const char* text = std::getenv(name);
    if (text == nullptr) return false;
    *value = text;
    return true;
}

}  // namespace platform

}  // namespace treepak
