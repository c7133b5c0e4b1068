#include "platform/terminal.h"

#include <unistd.h>

namespace treepak {

namespace platform {

bool IsTerminal(int stream) { return isatty(stream) == 1; }

}  // namespace platform

}  // namespace treepak
