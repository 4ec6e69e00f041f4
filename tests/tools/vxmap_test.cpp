// The vxmap command on a generated sample world: pictures, sizes and failures.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <sys/wait.h>

#include "support/temp_folder.h"
#include "world_generator.h"

namespace {

// Runs vxmap with `args`, output discarded; returns its exit code.
int RunVxmap(const std::string& args)
{
    const int status = std::system((std::string(VXMAP_PATH) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Vxmap : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        world = new support::TempFolder("vxmap_world");
        worldgen::GenerateWorld(world->Path(), 1);
    }
    static void TearDownTestSuite() { delete world; }
    static support::TempFolder* world;
    support::TempFolder out{"vxmap_out"};
};
support::TempFolder* Vxmap::world = nullptr;

// Distinct colours in a picture: a blank or single-colour picture means nothing was drawn.
int Colours(const QImage& image)
{
    std::vector<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            if (std::find(seen.begin(), seen.end(), image.pixel(x, y)) == seen.end() && seen.size() < 64)
                seen.push_back(image.pixel(x, y));
    return int(seen.size());
}

}  // namespace

TEST_F(Vxmap, DrawsTheTownViewAndItsDoubledPicture)
{
    const std::string game = world->Path();
    ASSERT_EQ(RunVxmap("view --game " + game + " --x 940 --y 1220 --out " + out.Path() + "town.png"), 0);
    ASSERT_EQ(RunVxmap("view --game " + game + " --x 940 --y 1220 --scale --out " + out.Path() + "town2.png"), 0);
    const QImage plain(QString::fromStdString(out.Path() + "town.png"));
    const QImage scaled(QString::fromStdString(out.Path() + "town2.png"));
    ASSERT_EQ(plain.size(), QSize(320, 200));
    ASSERT_EQ(scaled.size(), QSize(640, 400));
    EXPECT_GT(Colours(plain), 20) << "the town should be a busy picture";
    // The scaler keeps every source pixel's colour in the top-left of its block
    // wherever a pixel equals its neighbours; a flat stretch survives exactly.
    int same = 0;
    for (int y = 10; y < 190; y += 7)
        for (int x = 10; x < 310; x += 7)
            same += plain.pixel(x, y) == scaled.pixel(2 * x, 2 * y);
    EXPECT_GT(same, 600);
}

TEST_F(Vxmap, DrawsAShapeAndAChunk)
{
    const std::string game = world->Path();
    ASSERT_EQ(RunVxmap("shape --game " + game + " --shape 301 --frame 16 --out " + out.Path() + "s.png"), 0);
    ASSERT_EQ(RunVxmap("chunk --game " + game + " --chunk 0 --out " + out.Path() + "c.png"), 0);
    const QImage shape(QString::fromStdString(out.Path() + "s.png"));
    const QImage chunk(QString::fromStdString(out.Path() + "c.png"));
    ASSERT_EQ(shape.size(), QSize(320, 200));
    EXPECT_GT(Colours(shape), 2) << "the figure is drawn over the black background";
    // A chunk covers 128 x 128 pixels ending at its last cell's hot spot (208, 158).
    EXPECT_NE(chunk.pixel(150, 100) & 0xFFFFFF, 0u);
    EXPECT_EQ(chunk.pixel(20, 20) & 0xFFFFFF, 0u);
}

TEST_F(Vxmap, LoadsWhatTheMapViewersBeginLoadsAndNoMore)
{
    // Begin never reads the shape dimensions: a folder without them draws the same.
    support::TempFolder bare("vxmap_bare");
    std::filesystem::copy(world->Path(), bare.Path(), std::filesystem::copy_options::recursive);
    ASSERT_TRUE(std::filesystem::remove(bare.Path() + "STATIC/SHPDIMS.DAT"));
    const std::string view = " --x 940 --y 1220 --out ";
    ASSERT_EQ(RunVxmap("view --game " + world->Path() + view + out.Path() + "full.png"), 0);
    ASSERT_EQ(RunVxmap("view --game " + bare.Path() + view + out.Path() + "bare.png"), 0);
    EXPECT_EQ(QImage(QString::fromStdString(out.Path() + "full.png")),
              QImage(QString::fromStdString(out.Path() + "bare.png")));
    EXPECT_EQ(RunVxmap("chunk --game " + bare.Path() + " --chunk 0 --out " + out.Path() + "c.png"), 0);

    // ... but every command loads the whole world first, as Begin does.
    ASSERT_TRUE(std::filesystem::remove(bare.Path() + "GAMEDAT/VXIREG00"));
    EXPECT_EQ(RunVxmap("shape --game " + bare.Path() + " --shape 301 --frame 0 --out " + out.Path() + "s.png"), 1);
}

TEST_F(Vxmap, RefusesBadArgumentsAndMissingFiles)
{
    const std::string game = world->Path();
    EXPECT_EQ(RunVxmap("view --game " + game + " --x 4000 --y 1 --out " + out.Path() + "x.png"), 2);
    EXPECT_EQ(RunVxmap("shape --game " + game + " --shape 301 --out " + out.Path() + "x.png"), 2) << "no --frame";
    EXPECT_EQ(RunVxmap("paint --game " + game), 2);
    EXPECT_EQ(RunVxmap("shape --game " + out.Path() + "nowhere --shape 301 --frame 0 --out " + out.Path() + "x.png"), 1);
}

TEST_F(Vxmap, MakeMapFailingMidwayNamesTheFileAndRemovesIt)
{
    // A file-size limit of a few megabytes makes a write midway fail.
    const std::string raw = out.Path() + "big.raw";
    const std::string command = "ulimit -f 4096; trap '' XFSZ; exec " + std::string(VXMAP_PATH) +
                                " makemap --game " + world->Path() + " --out " + raw + " >" + out.Path() +
                                "lines.txt 2>" + out.Path() + "error.txt";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream error(out.Path() + "error.txt");
    std::string message;
    std::getline(error, message);
    EXPECT_EQ(message.rfind("vxmap: cannot write " + raw + ": ", 0), 0u) << message;
    EXPECT_FALSE(std::filesystem::exists(raw));
    std::ifstream lines(out.Path() + "lines.txt");
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        ++count;
    EXPECT_GT(count, 0);
    EXPECT_LT(count, 122);

    EXPECT_EQ(RunVxmap("makemap --game " + world->Path() + " --out " + out.Path() + "x.raw --threads 3"), 2);
    EXPECT_EQ(RunVxmap("makemap --game " + world->Path()), 2) << "no --out";
}
