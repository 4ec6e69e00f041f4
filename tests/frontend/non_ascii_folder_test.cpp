// A world installed from a game folder whose name is not ASCII, and recorded in
// the configuration store: the folder must come back exactly as it was chosen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "formats/flex_writer.h"
#include "frontend/vxa_config.h"
#include "frontend/world_install.h"
#include "platform/binary_file.h"
#include "platform/hive_file.h"
#include "platform/game_path.h"
#include "support/mini_game.h"
#include "support/temp_folder.h"
#include "support/world_reader.h"

namespace {

const std::string kWorld = "W\xC3\xABlt_\xCE\xA9";  // "Wëlt_Ω"

formats::Bytes Entry(const std::string& name, const std::string& content)
{
    formats::Bytes entry(13 + content.size(), 0);  // a 13-byte name field, then the file
    std::copy(name.begin(), name.end(), entry.begin());
    std::copy(content.begin(), content.end(), entry.begin() + 13);
    return entry;
}

// The hive the client itself uses on Windows (the registry) when the Windows
// check asks for it, since that writes below the real "\Software\VxaClient";
// otherwise a hive file in a folder that is not ASCII either.
std::unique_ptr<platform::ConfigHive> TestHive(const std::string& folder)
{
#ifdef _WIN32
    if (std::getenv("VX_TEST_REGISTRY"))
        return platform::OpenCurrentUserHive();
#endif
    return std::make_unique<platform::FileConfigHive>(folder + "C\xC3\xB6nfig_\xCE\xA9/user.reg");
}

}  // namespace

TEST(NonAsciiFolder, WorldIsExtractedRecordedAndFoundAgainByANewStore)
{
    support::TempFolder temp("world");
    const std::string game = temp.Path() + kWorld + platform::kSeparator;
    support::WriteMiniGame(game);
    formats::WriteFile(game + "STATIC/INITGAME.DAT",
                       formats::MakeFlex({Entry("IDENTITY", "VX-WELT\r\n"), Entry("VXIREG00", "objects")}));
    EXPECT_EQ(MissingGameFileMessage(game), "");

    int count = 0;
    {
        TVxaConfig config(TestHive(temp.Path()));
        const InstalledWorld world = InstallWorldFrom(game, config, [](const std::string& g, const std::string& o) {
            ExtractInitGame(g, o, {});
        });
        EXPECT_EQ(world.WorldDataFolder, game + "CLIDAT" + platform::kSeparator);
        EXPECT_EQ(world.Identity, "VX-WELT");
        EXPECT_EQ(support::ReadTextFile(world.WorldDataFolder + "VXIREG00"), "objects");
        count = config.ItemCount(kListWorldDirectories);
        ASSERT_GE(count, 1);
    }
    // Found on disk by a name built apart from the code under test: the folder
    // carries the characters chosen, not its UTF-8 bytes read in another code page.
    const auto onDisk = std::filesystem::path(temp.Path()) / std::filesystem::path(u8"W\u00EBlt_\u03A9");
    EXPECT_TRUE(std::filesystem::is_regular_file(onDisk / "STATIC" / "INITGAME.DAT"));
    EXPECT_TRUE(std::filesystem::is_regular_file(onDisk / "CLIDAT" / "VXIREG00"));

    // The next start of the client: a fresh store over the same hive.
    TVxaConfig again(TestHive(temp.Path()));
    EXPECT_EQ(again.ReadItem(count, kListWorldTypes), "VX-WELT");
    EXPECT_EQ(again.ReadItem(count, kListWorldDirectories), game);
    const std::string worldData = again.ReadItem(count, kListWorldGamedats);
    EXPECT_EQ(worldData, game + "CLIDAT" + platform::kSeparator);
    EXPECT_EQ(ReadIdentityLine(worldData), "VX-WELT");
    platform::BinaryFile objects(worldData + "VXIREG00");
    EXPECT_EQ(objects.FileSize(), 7);
}
