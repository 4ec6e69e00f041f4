// The hive of the current user, and what every hive shares.
#include "platform/config_hive.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include "platform/registry_hive.h"
#else
#include "platform/hive_file.h"
#endif

namespace platform {

std::string HiveKeyPath(const std::string& path)
{
    size_t first = path.find_first_not_of('\\');
    if (first == std::string::npos)
        return {};
    size_t last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

bool SameHiveName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string DefaultHiveFile()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : ".") + "/.config";
    }
    return (std::filesystem::path(base) / "vxaclient" / "user.reg").string();
}


std::unique_ptr<ConfigHive> OpenCurrentUserHive()
{
#ifdef _WIN32
    return OpenRegistryHive();
#else
    return std::make_unique<FileConfigHive>(DefaultHiveFile());
#endif
}

}  // namespace platform
