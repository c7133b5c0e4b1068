// Whether a standard stream is an interactive terminal.
#pragma once

namespace treepak {

namespace platform {

inline constexpr int STANDARD_OUTPUT = 1;
inline constexpr int STANDARD_ERROR = 2;

bool IsTerminal(int stream);

}  // namespace platform

}  // namespace treepak
