// Files and the configuration under a folder whose name is not ASCII.
// On Windows this is what the wide calls are for: the ANSI code page would
// turn "Wëlt_Ω" into other characters (or question marks) and miss the folder.
#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "formats/flex_writer.h"
#include "platform/binary_file.h"
#include "platform/hive_file.h"
#include "platform/game_path.h"
#include "support/temp_folder.h"
#include "support/world_reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// "Wëlt_Ω" in UTF-8, as a folder name arrives from a window or the configuration.
const std::string kWorld = "W\xC3\xABlt_\xCE\xA9";

}  // namespace

TEST(FileNames, FilesUnderANonAsciiFolderAreCreatedReadAndFoundByTheirOwnName)
{
    support::TempFolder temp("names");
    const std::string world = temp.Path() + kWorld + platform::kSeparator;

    // Written by the game-file writer (folders created on the way), read back
    // through the game's own path form with the case of the components changed.
    formats::WriteFile(world + "STATIC/TFA.DAT", {1, 2, 3, 4, 5});
    platform::BinaryFile file(world + "static\\tfa.dat");
    EXPECT_EQ(file.FileSize(), 5);
    EXPECT_EQ(file.ReadByte(), 1);
    EXPECT_EQ(support::ReadFile(world + "STATIC/TFA.DAT"), (formats::Bytes{1, 2, 3, 4, 5}));

    std::FILE* created = platform::OpenFile(world + "\xC3\x9C" "ber.txt", "wb");  // "Über.txt"
    ASSERT_NE(created, nullptr);
    std::fputs("x", created);
    std::fclose(created);

    // On disk the folder and the file carry exactly these characters.
    bool folderFound = false;
    for (const auto& entry : std::filesystem::directory_iterator(platform::PathFromUtf8(temp.Path())))
        folderFound |= platform::Utf8FromPath(entry.path().filename()) == kWorld;
    EXPECT_TRUE(folderFound);
    EXPECT_TRUE(std::filesystem::exists(platform::PathFromUtf8(world + "\xC3\x9C" "ber.txt")));
#ifdef _WIN32
    EXPECT_EQ(platform::PathFromUtf8(kWorld).native(), std::wstring(L"W\u00EBlt_\u03A9"));
    EXPECT_NE(GetFileAttributesW((platform::PathFromUtf8(world) / L"\u00DCber.txt").c_str()), INVALID_FILE_ATTRIBUTES);
#endif
    EXPECT_THROW(platform::BinaryFile(world + "STATIC\\MISSING.DAT"), EInOutError);
}

TEST(FileNames, HiveFileUnderANonAsciiFolderIsWrittenReplacedAndReadBack)
{
    support::TempFolder temp("names");
    const std::string file = temp.Path() + kWorld + "/vxaclient/user.reg";
    const std::string gameFolder = "C:\\Spiele\\" + kWorld + "\\";
    for (const char* ip : {"127.0.0.1", "10.0.0.2"}) {  // the second write replaces the file
        platform::FileConfigHive hive(file);
        ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient\\" + kWorld, true));
        hive.WriteString("LastIP", ip);
        hive.WriteString("Folder", gameFolder);
        hive.CloseKey();
    }
    platform::FileConfigHive again(file);
    ASSERT_TRUE(again.OpenKey("\\Software\\VxaClient\\" + kWorld, false));
    EXPECT_EQ(again.ReadValue("LastIP")->text, "10.0.0.2");
    EXPECT_EQ(again.ReadValue("Folder")->text, gameFolder);
    again.CloseKey();
    // Nothing but the hive file is left in its folder (the temporary file was renamed over it).
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(platform::PathFromUtf8(temp.Path() + kWorld + "/vxaclient")))
        entries += entry.is_regular_file();
    EXPECT_EQ(entries, 1);
}

#ifdef _WIN32
// The registry of the current user keeps key names, value names and strings
// in UTF-16. The key lives below its own test key, which the test removes.
TEST(FileNames, RegistryKeepsNonAsciiKeysNamesAndStrings)
{
    const std::string key = "\\Software\\VxaClientCheck\\" + kWorld;
    const std::string gameFolder = "C:\\Spiele\\" + kWorld + "\\";
    auto hive = platform::OpenCurrentUserHive();
    hive->DeleteKey("\\Software\\VxaClientCheck");
    EXPECT_FALSE(hive->OpenKey(key, false));
    ASSERT_TRUE(hive->OpenKey(key, true));
    hive->WriteString("Ordner_" + kWorld, gameFolder);
    hive->WriteDword("Count", 7);
    hive->CloseKey();

    ASSERT_TRUE(hive->OpenKey(key, false));
    EXPECT_EQ(hive->ReadValue("Ordner_" + kWorld)->text, gameFolder);
    EXPECT_EQ(hive->ReadValue("Count")->number, 7u);
    hive->CloseKey();

    // What another program reading the registry finds: the same characters.
    wchar_t stored[64] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\VxaClientCheck\\W\u00EBlt_\u03A9", L"Ordner_W\u00EBlt_\u03A9",
                           RRF_RT_REG_SZ, nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(stored), std::wstring(L"C:\\Spiele\\W\u00EBlt_\u03A9\\"));

    EXPECT_TRUE(hive->DeleteKey("\\Software\\VxaClientCheck"));
    EXPECT_FALSE(hive->OpenKey(key, false));
}
#endif
