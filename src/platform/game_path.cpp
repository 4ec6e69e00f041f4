// Game-file lookup with case-insensitive matching of path components.
#include "platform/game_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/file_names.h"

namespace platform {
#ifndef _WIN32
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// Finds the entry of `dir` whose name equals `name` without regard to case.
// Returns `name` unchanged when the exact name exists or nothing matches.
std::string MatchComponent(const std::filesystem::path& dir, const std::string& name)
{
    std::error_code ec;
    if (std::filesystem::exists(dir / name, ec))
        return name;
    std::string best;
    for (const auto& entry : std::filesystem::directory_iterator(dir.empty() ? "." : dir, ec)) {
        const std::string candidate = Utf8FromPath(entry.path().filename());
        // Directory order is arbitrary: pick the smallest match so the result is stable.
        if (SameIgnoringCase(candidate, name) && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? name : best;
}

}  // namespace
#endif

std::string NativePath(const std::string& gamePath)
{
    std::string path = gamePath;
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;  // the file system ignores case already
#else
    std::replace(path.begin(), path.end(), '\\', '/');
    std::error_code ec;
    if (path.empty() || std::filesystem::exists(PathFromUtf8(path), ec))
        return path;

    std::filesystem::path resolved;
    std::string rest = path;
    if (rest.front() == '/') {
        resolved = "/";
        rest.erase(0, 1);
    }
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string part = rest.substr(start, end - start);
        if (!part.empty()) {
            if (part == "." || part == "..")
                resolved /= part;
            else
                resolved /= MatchComponent(resolved, part);
        }
        start = end + 1;
    }
    std::string out = Utf8FromPath(resolved);
    if (path.back() == '/' && (out.empty() || out.back() != '/'))
        out += '/';
    return out;
#endif
}

std::string WithTrailingSeparator(const std::string& folder)
{
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        return folder;
    return folder + kSeparator;
}

}  // namespace platform
