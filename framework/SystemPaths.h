#pragma once
// The paths the system names for the running program: its own file, the system's Windows folder, and the long form of a path the system stores with short (8.3) names.
// UTF-16, as the system gives them.
#include <string>

namespace fw {

// The running program's own file.
std::wstring OwnPath();
// The system's own Windows folder (GetSystemWindowsDirectoryW: the system's setting, not an
// environment variable, and the same for every session), without a trailing backslash; "" on
// failure.
std::wstring SystemWindowsFolder();
// `path` with its short (8.3) components expanded, or "" when the system cannot tell.
std::wstring LongPathOf(const std::wstring& path);

}  // namespace fw
