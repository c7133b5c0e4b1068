// Path helpers shared by the front end and both drivers. They recognise '\',
// '/' and ':' (which ends a drive prefix) as the ends of a directory part;
// the separator they insert is the native '/'.
#pragma once

#include <string>
#include <string_view>

namespace treepak {

inline constexpr char NATIVE_SEPARATOR = '/';

bool IsPathSeparator(char c);
// True if the text contains '*' or '?'.
bool HasWildcard(std::string_view s);
// True if the path's attributes can be read and include the directory bit.
bool IsDirectory(const std::string& path);
// The tail after the last '\', '/' or ':'; the whole text if there is none.
std::string_view FileNamePart(std::string_view path);
// The tail from the last '.' to the end; empty if there is no '.'.
std::string_view FileExtension(std::string_view s);
// Cuts the path to its directory part: a separator before the name goes too
// unless it is the root's or follows a drive colon ("C:\a\b" -> "C:\a",
// "C:\a" -> "C:\", "/a" -> "/", "a" -> "", "C:a" -> "C:").
void CutToDirectory(std::string* path);
// dir, then a '/' unless dir is empty or already ends in a separator, then
// name.
std::string JoinPath(std::string_view dir, std::string_view name);
// ASCII case-insensitive comparisons.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool EndsWithIgnoreCase(std::string_view s, std::string_view suffix);

}  // namespace treepak
