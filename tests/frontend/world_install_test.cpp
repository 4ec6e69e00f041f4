// Extraction of INITGAME.DAT and the records of an installed world.
#include "frontend/world_install.h"
#include "platform/hive_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "frontend/vxa_config.h"
#include "platform/binary_file.h"
#include "formats/flex_writer.h"
#include "support/mini_game.h"
#include "support/world_reader.h"
#include "test_game.h"

using frontend_test::InitGameEntry;
namespace fs = std::filesystem;

namespace {

struct Extraction {
    support::TempFolder game{"game"};
    std::string out;
    std::vector<std::string> lines[4];

    Extraction()
    {
        out = game.Path() + "CLIDAT/";
        fs::create_directories(out);
    }
    void Archive(const std::vector<formats::Bytes>& entries)
    {
        formats::WriteFile(game.Path() + "STATIC/INITGAME.DAT", formats::MakeFlex(entries));
    }
    void Run()
    {
        ExtractionStatus status;
        status.SetLine = [this](int line, const std::string& text) { lines[line].push_back(text); };
        ExtractInitGame(game.Path(), out, status);
    }
    int Files() const { return int(std::distance(fs::directory_iterator(out), fs::directory_iterator())); }
};

}  // namespace

TEST(ExtractInitGame, WritesEachEntryAfterItsNameField)
{
    Extraction x;
    x.Archive({InitGameEntry("IDENTITY", "VX-1\nrest"), {}, InitGameEntry("ABCDEFGHIJKLM", "thirteen"), {},
               InitGameEntry("EMPTYFILE", "")});
    x.Run();
    EXPECT_EQ(support::ReadTextFile(x.out + "IDENTITY"), "VX-1\nrest");
    EXPECT_EQ(support::ReadTextFile(x.out + "ABCDEFGHIJKLM"), "thirteen");
    EXPECT_TRUE(fs::exists(x.out + "EMPTYFILE"));
    EXPECT_EQ(fs::file_size(x.out + "EMPTYFILE"), 0u);
    EXPECT_EQ(x.Files(), 3);
    // One "Writing" and one "Wrote" per non-empty entry; empty slots write nothing.
    EXPECT_EQ(x.lines[3], (std::vector<std::string>{"Writing " + x.out + "IDENTITY...", "Wrote " + x.out + "IDENTITY",
                                                    "Writing " + x.out + "ABCDEFGHIJKLM...",
                                                    "Wrote " + x.out + "ABCDEFGHIJKLM",
                                                    "Writing " + x.out + "EMPTYFILE...",
                                                    "Wrote " + x.out + "EMPTYFILE", "Done."}));
    EXPECT_EQ(x.lines[1].front(), "Opening INITGAME.DAT flex file...");
    EXPECT_EQ(x.lines[1].back(), "");
    EXPECT_EQ(x.lines[2].back(), "");
}

TEST(ExtractInitGame, OverwritesSameNamesAndKeepsOtherFiles)
{
    Extraction x;
    formats::WriteFile(x.out + "IDENTITY", formats::Bytes(100, 'z'));
    formats::WriteFile(x.out + "KEEPME", {'k'});
    x.Archive({InitGameEntry("IDENTITY", "new")});
    x.Run();
    EXPECT_EQ(support::ReadTextFile(x.out + "IDENTITY"), "new");
    EXPECT_EQ(support::ReadTextFile(x.out + "KEEPME"), "k");
}

#ifndef _WIN32
void LimitFileSize(rlim_t bytes)
{
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(ExtractInitGameDeathTest, KillDuringAWriteKeepsTheEarlierFile)
{
    // Forked, not re-run: the child must write into this test's folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    Extraction x;
    formats::WriteFile(x.out + "VXIREG00", formats::Bytes(100, 'o'));
    x.Archive({InitGameEntry("VXIREG00", std::string(64 * 1024, 'n'))});
    // The file size limit kills the extraction in the middle of writing the entry.
    EXPECT_EXIT(
        {
            LimitFileSize(4096);
            x.Run();
        },
        ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(fs::file_size(x.out + "VXIREG00.vx-extracting"), 4096u);  // the half-written file
    EXPECT_EQ(support::ReadTextFile(x.out + "VXIREG00"), std::string(100, 'o'));
    // The next extraction completes the file.
    x.Run();
    EXPECT_EQ(support::ReadTextFile(x.out + "VXIREG00"), std::string(64 * 1024, 'n'));
}
#endif

TEST(ExtractInitGame, RefusesNamesThatLeaveTheFolder)
{
    const std::string names[] = {std::string("\0IDENTITY", 9), "../escape", "sub/file", "sub\\file", "C:file",
                                 "tab\there", ".", "..", std::string("bad\x7F")};
    for (const auto& name : names) {
        Extraction x;
        x.Archive({InitGameEntry("FIRST", "1"), InitGameEntry(name, "evil")});
        try {
            x.Run();
            ADD_FAILURE() << "accepted " << name;
        } catch (const EInOutError& e) {
            EXPECT_NE(std::string(e.what()).find("INITGAME.DAT entry 1: refused file name"), std::string::npos)
                << e.what();
        }
        // Written before the refusal: kept; nothing for the refused entry, nowhere.
        EXPECT_EQ(x.Files(), 1) << name;
        EXPECT_FALSE(fs::exists(x.game.Path() + "escape"));
        EXPECT_FALSE(fs::exists(x.out + "sub"));
    }
}

TEST(ExtractInitGame, NamesWithDotsInsideAreFilesLikeAnyOther)
{
    Extraction x;
    x.Archive({InitGameEntry("A..B", "1"), InitGameEntry("..HIDDEN", "2"), InitGameEntry("END..", "3"),
               InitGameEntry(".PROFILE", "4")});
    x.Run();
    EXPECT_EQ(x.Files(), 4);
    EXPECT_EQ(support::ReadTextFile(x.out + "A..B"), "1");
    EXPECT_EQ(support::ReadTextFile(x.out + "..HIDDEN"), "2");
    EXPECT_EQ(support::ReadTextFile(x.out + "END.."), "3");
    EXPECT_EQ(support::ReadTextFile(x.out + ".PROFILE"), "4");
}

TEST(ExtractInitGame, RefusesOversizedAndTruncatedEntriesAndStopsOnEmptyArchive)
{
    {
        Extraction x;
        formats::Bytes big = InitGameEntry("BIG", "");
        big.resize(size_t(kExtractBufferSize) + 1, 'b');
        x.Archive({big});
        EXPECT_THROW(
            {
                try {
                    x.Run();
                } catch (const EInOutError& e) {
                    EXPECT_NE(std::string(e.what()).find("entry 0: 1000015 bytes"), std::string::npos) << e.what();
                    throw;
                }
            },
            EInOutError);
        EXPECT_EQ(x.Files(), 0);
    }
    {
        // An entry that fills the buffer exactly still fits; one shorter than
        // its name field is refused.
        Extraction x;
        formats::Bytes exact = InitGameEntry("FULL", "");
        exact.resize(size_t(kExtractBufferSize), 'f');
        x.Archive({exact, formats::Bytes{'S', 'H', 'O', 'R', 'T', 0}});
        EXPECT_THROW(x.Run(), EInOutError);
        EXPECT_EQ(x.Files(), 1);
        EXPECT_EQ(fs::file_size(x.out + "FULL"), size_t(kExtractBufferSize - kStoredNameSize));
    }
    {
        Extraction x;
        x.Archive({});
        x.Run();
        EXPECT_EQ(x.Files(), 0);
        EXPECT_TRUE(x.lines[2].empty() || x.lines[2] == std::vector<std::string>{""});
    }
    Extraction missing;
    EXPECT_THROW(missing.Run(), EInOutError);
}

TEST(InstallWorldFrom, RecordsTheWorldAfterExtraction)
{
    frontend_test::ConfigHome home;
    support::TempFolder game("game");
    frontend_test::WriteTestGame(game.Path(), "VX-WORLD");
    EXPECT_EQ(MissingGameFileMessage(game.Path()), "");
    TVxaConfig config;
    auto extract = [](const std::string& g, const std::string& o) { ExtractInitGame(g, o, {}); };

    const InstalledWorld world = InstallWorldFrom(game.Path(), config, extract);
    EXPECT_EQ(world.GameFolder, game.Path());
    EXPECT_EQ(world.WorldDataFolder, game.Path() + "CLIDAT/");
    EXPECT_EQ(world.Identity, "VX-WORLD");
    EXPECT_EQ(support::ReadTextFile(game.Path() + "CLIDAT/VXIREG00"), "objects");

    // A carriage return alone ends the identity line as well.
    formats::WriteFile(game.Path() + "CLIDAT/IDENTITY", {'V', 'X', '-', 'C', 'R', '\r', 'n', 'e', 'x', 't'});
    EXPECT_EQ(ReadIdentityLine(game.Path() + "CLIDAT/"), "VX-CR");

    // Installing the same folder again over its existing CLIDAT adds a second, identical world.
    InstallWorldFrom(game.Path(), config, extract);
    for (int list : {kListWorldTypes, kListWorldDirectories, kListWorldGamedats})
        EXPECT_EQ(config.ItemCount(list), 2);
    EXPECT_EQ(config.ReadItem(2, kListWorldTypes), "VX-WORLD");
    EXPECT_EQ(config.ReadItem(2, kListWorldDirectories), game.Path());
    EXPECT_EQ(config.ReadItem(2, kListWorldGamedats), game.Path() + "CLIDAT/");
}

TEST(InstallWorldFrom, NamesTheMissingGameFileAndRecordsNothingOnFailure)
{
    frontend_test::ConfigHome home;
    support::TempFolder game("game");
    support::WriteMiniGame(game.Path());
    EXPECT_EQ(MissingGameFileMessage(game.Path()),
              "This is not a Tessarine folder: STATIC\\INITGAME.DAT is missing in " + game.Path());

    // An archive without IDENTITY fails the installation before anything is recorded.
    formats::WriteFile(game.Path() + "STATIC/INITGAME.DAT", formats::MakeFlex({InitGameEntry("OTHER", "x")}));
    TVxaConfig config;
    try {
        InstallWorldFrom(game.Path(), config, [](const std::string& g, const std::string& o) {
            ExtractInitGame(g, o, {});
        });
        ADD_FAILURE() << "installed without IDENTITY";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("CLIDAT/IDENTITY"), std::string::npos) << e.what();
    }
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 0);
    EXPECT_EQ(config.ItemCount(kListWorldDirectories), 0);

    // A list that cannot take the world's folder leaves the other lists as they were.
    frontend_test::WriteTestGame(game.Path(), "VX-HALF");
    platform::FileConfigHive(platform::DefaultHiveFile()).DeleteKey("\\Software\\VxaClient\\Worlds\\Directories");
    EXPECT_THROW(InstallWorldFrom(game.Path(), config,
                                  [](const std::string& g, const std::string& o) { ExtractInitGame(g, o, {}); }),
                 ERegistryException);
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 0);
    EXPECT_EQ(config.ItemCount(kListWorldGamedats), 0);
}
