// The configuration store on a hive file under a temporary XDG_CONFIG_HOME.
#include "frontend/vxa_config.h"
#include "platform/hive_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "test_game.h"

using frontend_test::ConfigHome;

namespace {

platform::FileConfigHive Hive() { return platform::FileConfigHive(platform::DefaultHiveFile()); }

}  // namespace

TEST(VxaConfig, FirstRunCreatesTheMainKeyAndTwelveEmptyLists)
{
    ConfigHome home;
    EXPECT_EQ(home.HiveFile(), platform::DefaultHiveFile());
    EXPECT_NE(home.HiveFile().find("vxaclient/user.reg"), std::string::npos);
    // The whole first-run layout is written as one file replacement.
    int writes = 0;
    platform::FileConfigHive::MidWriteHook = [&] { ++writes; };
    TVxaConfig config;
    platform::FileConfigHive::MidWriteHook = nullptr;
    EXPECT_EQ(writes, 1);

    auto hive = Hive();
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_FALSE(hive.ReadValue("LastIP").has_value());
    const char* keys[] = {"Users", "Users\\Names", "Worlds\\Types", "Servers", "Servers\\IPs",
                          "Servers\\WorldTypes", "Servers\\Versions", "Users\\Passwords", "Users\\Shapes",
                          "Worlds", "Worlds\\Directories", "Worlds\\Gamedats"};
    for (int list = 1; list <= 12; ++list) {
        ASSERT_TRUE(hive.OpenKey(std::string("\\Software\\VxaClient\\") + keys[list - 1], false)) << keys[list - 1];
        const auto count = hive.ReadValue("Count");
        ASSERT_TRUE(count.has_value());
        EXPECT_EQ(count->type, uint32_t(platform::HiveValue::Type::Dword));
        EXPECT_EQ(count->number, 0u);
        EXPECT_FALSE(hive.ReadValue("1").has_value());
        EXPECT_EQ(config.ItemCount(list), 0);
    }
    hive.CloseKey();
    // Exactly the main key, its parent and the twelve lists: fourteen key lines.
    const std::string text = home.Text();
    size_t keyLines = 0;
    for (size_t at = text.find("\n["); at != std::string::npos; at = text.find("\n[", at + 1))
        ++keyLines;
    EXPECT_EQ(keyLines, 14u);

    // A second construction creates nothing, even with a list key gone.
    hive.DeleteKey("\\Software\\VxaClient\\Servers\\IPs");
    TVxaConfig again;
    EXPECT_FALSE(hive.OpenKey("\\Software\\VxaClient\\Servers\\IPs", false));
}

TEST(VxaConfig, AMainKeyKnownOnlyThroughItsListsIsNoFirstRun)
{
    // An export file with sections for the list keys but none for the main key:
    // the installed world must survive the next start.
    ConfigHome home;
    {
        auto hive = Hive();
        for (int list = 1; list <= 12; ++list) {
            ASSERT_TRUE(hive.OpenKey(TVxaConfig::ListKeyPath(list), true));
            hive.WriteDword("Count", list == kListWorldTypes || list == kListWorlds ? 1 : 0);
            if (list == kListWorldTypes)
                hive.WriteString("1", "EMBER VALE");
            if (list == kListWorlds)
                hive.WriteString("1", "1");
            hive.CloseKey();
        }
    }
    std::string text = home.Text();
    for (const std::string section : {"[HKEY_CURRENT_USER\\Software\\VxaClient]\n",
                                      "[HKEY_CURRENT_USER\\Software]\n"}) {
        const size_t at = text.find(section);
        ASSERT_NE(at, std::string::npos) << section;
        text.erase(at, section.size());
    }
    std::ofstream(home.HiveFile(), std::ios::binary | std::ios::trunc) << text;
    ASSERT_EQ(home.Text().find("VxaClient]"), std::string::npos);

    TVxaConfig config;
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 1);
    EXPECT_EQ(config.ReadItem(1, kListWorldTypes), "EMBER VALE");
    EXPECT_EQ(config.ItemCount(kListWorlds), 1);
    EXPECT_EQ(config.ItemCount(2), 0);
}

TEST(VxaConfig, ItemsAndCounts)
{
    ConfigHome home;
    TVxaConfig config;
    EXPECT_EQ(config.AddItem("first", kListWorldTypes), 1);
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 1);
    EXPECT_EQ(config.AddItem("second", kListWorldTypes), 2);
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 2);
    EXPECT_EQ(config.ReadItem(1, kListWorldTypes), "first");
    EXPECT_EQ(config.ReadItem(2, kListWorldTypes), "second");
    EXPECT_EQ(config.ReadItem(5, kListWorldTypes), "");
    EXPECT_NE(home.Text().find("[HKEY_CURRENT_USER\\Software\\VxaClient\\Worlds\\Types]\n"
                               "\"Count\"=dword:00000002\n\"1\"=\"first\"\n\"2\"=\"second\"\n"),
              std::string::npos);

    config.AddItem("1", kListWorlds);
    config.WriteItem(1, kListWorlds, "2");
    EXPECT_EQ(config.ItemCount(kListWorlds), 1);
    EXPECT_EQ(config.ReadItem(1, kListWorlds), "2");

    EXPECT_EQ(config.ReadValue("FullScreen"), "");
    config.WriteValue("FullScreen", "Yes");
    config.WriteValue("LastIP", "10.0.0.1");
    EXPECT_EQ(config.ReadValue("FullScreen"), "Yes");
    // Nothing is cached: a store made later reads what this one wrote.
    EXPECT_EQ(TVxaConfig().ReadValue("LastIP"), "10.0.0.1");
}

TEST(VxaConfig, MissingListKeyAndWrongTypesFail)
{
    ConfigHome home;
    TVxaConfig config;
    config.AddItem("world", kListWorldTypes);
    Hive().DeleteKey("\\Software\\VxaClient\\Worlds\\Types");

    // A missing count is a read error, not a type error.
    for (auto operation : {std::function<void()>([&] { config.ItemCount(kListWorldTypes); }),
                           std::function<void()>([&] { config.AddItem("x", kListWorldTypes); })}) {
        try {
            operation();
            ADD_FAILURE() << "a missing list key was counted";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Failed to get data for 'Count'", 0), 0u) << e.what();
        }
    }
    EXPECT_THROW(config.WriteItem(1, kListWorldTypes, "x"), ERegistryException);
    EXPECT_EQ(config.ReadItem(1, kListWorldTypes), "");
    // The other lists under "Worlds" are still there.
    EXPECT_EQ(config.ItemCount(kListWorlds), 0);

    auto hive = Hive();
    hive.OpenKey("\\Software\\VxaClient\\Worlds", false);
    hive.WriteString("Count", "1");
    hive.WriteDword("1", 2);
    hive.CloseKey();
    try {
        config.ItemCount(kListWorlds);
        ADD_FAILURE() << "a string Count was taken";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("Invalid data type for 'Count'"), std::string::npos) << e.what();
    }
    EXPECT_THROW(config.AddItem("x", kListWorlds), ERegistryException);
    EXPECT_THROW(config.ReadItem(1, kListWorlds), ERegistryException);
}

TEST(VxaConfig, FailedAddLeavesTheCountAlone)
{
    ConfigHome home;
    TVxaConfig config;
    EXPECT_THROW(config.AddItem("two\nlines", kListWorldTypes), ERegistryException);
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 0);
}

TEST(VxaConfig, MalformedFileStopsEveryOperation)
{
    ConfigHome home;
    TVxaConfig config;
    std::ofstream(home.HiveFile(), std::ios::app) << "garbage\n";
    try {
        config.ItemCount(kListWorlds);
        ADD_FAILURE() << "a damaged file was read";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find(home.HiveFile() + " line "), std::string::npos) << e.what();
    }
}

TEST(VxaConfig, ChangeLastsAsAWholeOrNotAtAll)
{
    ConfigHome home;
    TVxaConfig config;
    int writes = 0;
    platform::FileConfigHive::MidWriteHook = [&] { ++writes; };
    {
        ConfigChange outer(config);
        config.AddItem("world", kListWorldTypes);
        {
            ConfigChange inner(config);
            config.AddItem("C:\\Game\\", kListWorldDirectories);
            inner.Commit();
        }
        EXPECT_EQ(writes, 0);
        EXPECT_EQ(config.ItemCount(kListWorldTypes), 1);  // the change reads its own writes
        outer.Commit();
    }
    EXPECT_EQ(writes, 1);
    {
        ConfigChange failed(config);
        config.AddItem("second", kListWorldTypes);
        EXPECT_THROW(config.AddItem("two\nlines", kListWorldDirectories), ERegistryException);
    }
    platform::FileConfigHive::MidWriteHook = nullptr;
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 1);
    EXPECT_EQ(config.ReadItem(1, kListWorldDirectories), "C:\\Game\\");
    // The store works on normally after a dropped change.
    EXPECT_EQ(config.AddItem("second", kListWorldTypes), 2);
    EXPECT_EQ(TVxaConfig().ItemCount(kListWorldTypes), 2);
}
