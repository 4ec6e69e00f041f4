// Game folders and configuration homes for the front end's tests.
#include "test_game.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/config_hive.h"
#include "support/mini_game.h"

namespace frontend_test {

namespace {

// On Windows the client keeps its configuration in the registry, not below
// XDG_CONFIG_HOME: where the Windows check allows the tests the real registry
// (VX_TEST_REGISTRY, in a throwaway Wine prefix), each configuration home starts
// and ends without the client's key.
void ClearRegistryConfiguration()
{
#ifdef _WIN32
    if (std::getenv("VX_TEST_REGISTRY"))
        platform::OpenCurrentUserHive()->DeleteKey("\\Software\\VxaClient");
#endif
}

}  // namespace

formats::Bytes InitGameEntry(const std::string& nameField, const std::string& content)
{
    formats::Bytes entry(13, 0);
    for (size_t i = 0; i < nameField.size() && i < 13; ++i)
        entry[i] = uint8_t(nameField[i]);
    entry.insert(entry.end(), content.begin(), content.end());
    return entry;
}

void WriteTestGame(const std::string& folder, const std::string& identity)
{
    support::WriteMiniGame(folder);
    formats::WriteFile(folder + "STATIC/INITGAME.DAT",
                       formats::MakeFlex({InitGameEntry("IDENTITY", identity + "\r\nsecond line\r\n"), {},
                                          InitGameEntry("VXIREG00", "objects")}));
}

ConfigHome::ConfigHome()
{
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        old_ = old;
        hadOld_ = true;
    }
    setenv("XDG_CONFIG_HOME", folder_.Path().c_str(), 1);
    ClearRegistryConfiguration();
}

ConfigHome::~ConfigHome()
{
    if (hadOld_)
        setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    ClearRegistryConfiguration();
}

std::string ConfigHome::HiveFile() const
{
    return platform::DefaultHiveFile();
}

std::string ConfigHome::Text() const
{
    std::ifstream in(HiveFile(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace frontend_test
