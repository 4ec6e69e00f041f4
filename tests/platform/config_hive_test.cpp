// The hive file: its text format, its errors and its atomic replacement.
#include "platform/hive_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "formats/flex_writer.h"
#include "platform/file_names.h"
#include "support/temp_folder.h"
#include "support/world_reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(platform::PathFromUtf8(path), std::ios::binary) << text;
}

// Ends the process at once, as a power cut or a task manager would: nothing
// is flushed or closed.
[[noreturn]] void KillThisProcess()
{
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 9);
#else
    std::raise(SIGKILL);
#endif
    std::abort();
}

#ifdef _WIN32
::testing::ExitedWithCode KilledByKillThisProcess() { return ::testing::ExitedWithCode(9); }
#else
::testing::KilledBySignal KilledByKillThisProcess() { return ::testing::KilledBySignal(SIGKILL); }
#endif

}  // namespace

TEST(ConfigHive, WritesTheRegistryExportFormatAndReadsItBack)
{
    support::TempFolder dir("hive");
    const std::string file = dir.Path() + "sub/user.reg";
    platform::FileConfigHive hive(file);
    EXPECT_FALSE(hive.OpenKey("\\Software\\VxaClient\\Worlds", false));
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient\\Worlds", true));
    hive.WriteDword("Count", 1);
    hive.WriteString("1", "C:\\Games\\Tess \"2\"\\");
    hive.CloseKey();

    EXPECT_EQ(support::ReadTextFile(file),
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_CURRENT_USER\\Software]\n"
              "\n[HKEY_CURRENT_USER\\Software\\VxaClient]\n"
              "\n[HKEY_CURRENT_USER\\Software\\VxaClient\\Worlds]\n"
              "\"Count\"=dword:00000001\n"
              "\"1\"=\"C:\\\\Games\\\\Tess \\\"2\\\"\\\\\"\n");

    // Names compare without regard to case; values survive a fresh read.
    platform::FileConfigHive again(file);
    ASSERT_TRUE(again.OpenKey("software\\vxaclient\\WORLDS", false));
    EXPECT_EQ(again.ReadValue("count")->number, 1u);
    EXPECT_EQ(again.ReadValue("1")->text, "C:\\Games\\Tess \"2\"\\");
    EXPECT_FALSE(again.ReadValue("2").has_value());
    again.CloseKey();

    EXPECT_TRUE(again.DeleteKey("\\Software\\VxaClient"));
    EXPECT_FALSE(again.OpenKey("\\Software\\VxaClient\\Worlds", false));
    EXPECT_TRUE(again.OpenKey("\\Software", false));
}

TEST(ConfigHive, KeepsOtherValueTypesAndDropsDiscardedWrites)
{
    support::TempFolder dir("hive");
    const std::string file = dir.Path() + "user.reg";
    WriteText(file,
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
              "; hand edited\r\n"
              "[HKEY_CURRENT_USER\\Software\\VxaClient]\r\n"
              "\"Blob\"=hex:01,02,\\\r\n  03\r\n"
              "\"Wide\"=hex(1):41,00,e9,00,00,00\r\n"
              "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n");
    platform::FileConfigHive hive(file);
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_EQ(hive.ReadValue("Blob")->type, 3u);
    EXPECT_EQ(hive.ReadValue("Blob")->raw, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(hive.ReadValue("Wide")->text, "A\xC3\xA9");
    hive.WriteString("LastIP", "127.0.0.1");
    hive.DiscardKey();
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_FALSE(hive.ReadValue("LastIP").has_value());
    EXPECT_THROW(hive.WriteString("x", "two\nlines"), ERegistryException);
    hive.WriteString("LastIP", "127.0.0.1");
    hive.CloseKey();
    EXPECT_NE(support::ReadTextFile(file).find("\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"), std::string::npos);
    EXPECT_NE(support::ReadTextFile(file).find("\"Blob\"=hex:01,02,03\n"), std::string::npos);
}

TEST(ConfigHive, ARewriteKeepsValuesStoredAsHexExactly)
{
    // Found by fuzz_config: a dword of three bytes was written back as dword:00000000,
    // and a hex(1) text holding a line break as a quoted string, which broke the
    // file for every later read.
    support::TempFolder dir("hive");
    const std::string file = dir.Path() + "user.reg";
    WriteText(file,
              "Windows Registry Editor Version 5.00\n"
              "[HKEY_CURRENT_USER\\Software\\VxaClient]\n"
              "\"Short\"=hex(4):61,00,00\n"
              "\"Lines\"=hex(1):41,00,0a,00,42,00,00,00\n"
              "\"Four\"=hex(4):78,56,34,12\n");
    platform::FileConfigHive hive(file);
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_EQ(hive.ReadValue("Lines")->text, "A\nB");
    EXPECT_EQ(hive.ReadValue("Four")->number, 0x12345678u);
    hive.WriteString("LastIP", "127.0.0.1");
    hive.CloseKey();

    const std::string text = support::ReadTextFile(file);
    EXPECT_NE(text.find("\"Short\"=hex(4):61,00,00\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Lines\"=hex(1):41,00,0a,00,42,00,00,00\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Four\"=dword:12345678\n"), std::string::npos) << text;
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_EQ(hive.ReadValue("Short")->raw, (std::vector<uint8_t>{0x61, 0, 0}));
    EXPECT_EQ(hive.ReadValue("Lines")->text, "A\nB");
    EXPECT_EQ(hive.ReadValue("LastIP")->text, "127.0.0.1");
}

TEST(ConfigHive, AKeyExistsWhenAKeyBelowItExists)
{
    // A hand-made or merged export file: sections only for the deepest keys.
    support::TempFolder dir("hive");
    const std::string file = dir.Path() + "user.reg";
    WriteText(file,
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_CURRENT_USER\\Software\\VxaClient\\Worlds\\Types]\n"
              "\"Count\"=dword:00000001\n"
              "\n[HKEY_CURRENT_USER\\Software\\VxaClientOld]\n");
    platform::FileConfigHive hive(file);
    for (const char* path : {"\\Software", "\\Software\\VxaClient", "\\software\\vxaclient\\WORLDS"}) {
        ASSERT_TRUE(hive.OpenKey(path, false)) << path;
        EXPECT_FALSE(hive.ReadValue("Count").has_value()) << path;
    }
    // A name that merely starts like a key is another key.
    EXPECT_FALSE(hive.OpenKey("\\Software\\VxaClientO", false));
    EXPECT_FALSE(hive.OpenKey("\\Software\\VxaClient\\World", false));
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient\\Worlds\\Types", false));
    EXPECT_EQ(hive.ReadValue("Count")->number, 1u);

    // Opening a key that exists through its sub-keys writes nothing; a value
    // written into it gives it a section of its own.
    const std::string before = support::ReadTextFile(file);
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    hive.CloseKey();
    EXPECT_EQ(support::ReadTextFile(file), before);
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    hive.WriteString("LastIP", "10.0.0.2");
    hive.CloseKey();
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_EQ(hive.ReadValue("LastIP")->text, "10.0.0.2");
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient\\Worlds\\Types", false));
    EXPECT_EQ(hive.ReadValue("Count")->number, 1u);
}

TEST(ConfigHive, MalformedFileNamesFileAndLine)
{
    support::TempFolder dir("hive");
    const std::string file = dir.Path() + "user.reg";
    const std::pair<std::string, int> cases[] = {
        {"REGEDIT4\n", 1},
        {"Windows Registry Editor Version 5.00\n\n\"Count\"=dword:1\n", 3},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"Count\"=dword:xyz\n", 3},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"1\"=\"open\n", 3},
        {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\n\"1\"=hex:01,zz\n", 4},
    };
    for (const auto& [text, line] : cases) {
        WriteText(file, text);
        platform::FileConfigHive hive(file);
        try {
            hive.OpenKey("\\A", false);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const ERegistryException& e) {
            EXPECT_EQ(std::string(e.what()).rfind(file + " line " + std::to_string(line) + ":", 0), 0u)
                << e.what();
        }
    }
}

TEST(ConfigHiveDeathTest, KillDuringWriteLeavesTheOldFile)
{
#ifdef _WIN32
    // Windows runs the dying statement in a new process that starts the test
    // over: it takes the parent's folder from the environment.
    std::optional<support::TempFolder> own;
    std::string folder;
    if (const char* inherited = std::getenv("VX_HIVE_KILL_FOLDER")) {
        folder = inherited;
    } else {
        own.emplace("hive");
        folder = own->Path();
        _putenv_s("VX_HIVE_KILL_FOLDER", folder.c_str());
    }
#else
    // Forked, not re-run: the child must write to this test's file.
    GTEST_FLAG_SET(death_test_style, "fast");
    support::TempFolder dir("hive");
    const std::string folder = dir.Path();
#endif
    const std::string file = folder + "user.reg";
    {
        platform::FileConfigHive hive(file);
        hive.OpenKey("\\Software\\VxaClient", true);
        hive.WriteString("LastIP", "old");
        hive.CloseKey();
    }
    const std::string before = support::ReadTextFile(file);
    EXPECT_EXIT(
        {
            platform::FileConfigHive::MidWriteHook = [] { KillThisProcess(); };
            platform::FileConfigHive hive(file);
            hive.OpenKey("\\Software\\VxaClient", true);
            hive.WriteString("LastIP", std::string(5000, 'n'));
            hive.CloseKey();
        },
        KilledByKillThisProcess(), "");
#ifdef _WIN32
    _putenv_s("VX_HIVE_KILL_FOLDER", "");
#endif
    // The child died with its half-written temporary file beside the hive file.
    int others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(platform::PathFromUtf8(folder)))
        others += entry.path().filename() != "user.reg";
    EXPECT_EQ(others, 1);
    EXPECT_EQ(support::ReadTextFile(file), before);
    platform::FileConfigHive hive(file);
    ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false));
    EXPECT_EQ(hive.ReadValue("LastIP")->text, "old");
}
