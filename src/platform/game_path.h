// Game-file lookup: relative game paths written with backslashes, mapped to this machine.
#pragma once

#include <string>

namespace platform {

// The native directory separator.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// Maps a path built the game's way (a folder plus "STATIC\SHAPES.VGA") to a
// native path: backslashes become the native separator and, on case-sensitive
// file systems, each component that does not exist exactly is matched without
// regard to case. Components that match nothing are left as written, so the
// caller's open fails naming the path it asked for.
std::string NativePath(const std::string& gamePath);

// Appends the native separator unless the folder already ends in one.
std::string WithTrailingSeparator(const std::string& folder);

}  // namespace platform
