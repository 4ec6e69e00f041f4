// The start-up step: settles the current world and loads the static data.
#include "frontend/startup.h"

#include <charconv>

#include "data/static_tables.h"
#include "data/world_map.h"
#include "platform/console.h"

std::string GameFolder = "**";
std::string WorldDataFolder = "**";
std::string WorldIdentity;

void ResetStartupState()
{
    GameFolder = "**";
    WorldDataFolder = "**";
    WorldIdentity.clear();
    FreeProcessObjects();
}

int StrToInt(const std::string& text)
{
    int value = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    // One sign at most: from_chars takes a '-' itself, so a '+' is skipped only
    // when a digit follows.
    if (begin != end && *begin == '+' && begin + 1 != end && *(begin + 1) != '-')
        ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
}

bool StaticDataProgress(int step, int& position, std::string& caption)
{
    switch (step) {
    case 1: position = 10; caption = "Loading Shapes"; return true;     // palette archive open
    case 2: position = 70; caption = "Loading Palettes"; return true;   // shapes loaded
    case 6: position = 80; caption = "Loading TFA"; return true;        // colour table built
    case 8: position = 100; caption = "Complete"; return true;          // tile flags read
    default: return false;
    }
}

void LoadStaticData(StartupHost& host)
{
    ::LoadStaticData(GameFolder, [&](int step) {
        int position = 0;
        std::string caption;
        if (StaticDataProgress(step, position, caption))
            host.SetProgress(position, caption);
    });
}

void RunStartupStep(StartupHost& host)
{
    CreateProcessObjects();
    TVxaConfig& config = *VxaConfig;

    if (config.ItemCount(kListWorldTypes) == 0) {
        // The first world and its selection are recorded together: a world
        // without a selection would stop every later start.
        ConfigChange change(config);
        const InstalledWorld world = host.InstallWorld(config);
        if (world.Cancelled) {
            host.Terminate();
            return;
        }
        GameFolder = world.GameFolder;
        WorldDataFolder = world.WorldDataFolder;
        WorldIdentity = world.Identity;
        config.AddItem("1", kListWorlds);
        change.Commit();
    } else {
        const int n = StrToInt(config.ReadItem(1, kListWorlds));
        platform::ConsoleLine(std::to_string(n));
        GameFolder = config.ReadItem(n, kListWorldDirectories);
        WorldIdentity = config.ReadItem(n, kListWorldTypes);
        WorldDataFolder = config.ReadItem(n, kListWorldGamedats);
    }

    if (config.ReadValue("FullScreen") == "Yes")
        host.TickFullScreenBox();
    if (const std::string lastIP = config.ReadValue("LastIP"); !lastIP.empty())
        host.SetServerAddress(lastIP);

    LoadStaticData(host);
    LoadInterfaceShapes(GameFolder);
    host.ShowLoginWindow();
}
