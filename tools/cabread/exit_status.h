// cabread's exit statuses.
#pragma once

namespace treepak {

inline constexpr int CABREAD_EXIT_DONE = 0;          // everything asked for was done
inline constexpr int CABREAD_EXIT_PARTLY = 1;        // some files failed, the rest was done
inline constexpr int CABREAD_EXIT_NOTHING_READ = 2;  // bad usage, or no cabinet could be read

}  // namespace treepak
