// The platform layer: tick clock, game-file lookup, checked reads, console lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/binary_file.h"
#include "platform/byte_order.h"
#include "platform/console.h"
#include "platform/game_path.h"
#include "platform/tick_count.h"
#include "formats/flex_writer.h"

namespace fs = std::filesystem;

namespace {

fs::path TempFolder(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("vx_platform_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(TickCount, FakeClockAdvancesAndWrapsAt32Bits)
{
    platform::FakeClock clock(0xFFFFFFF0u);
    EXPECT_EQ(platform::TickCount(), 0xFFFFFFF0u);
    clock.Advance(0x20);
    EXPECT_EQ(platform::TickCount(), 0x10u);
    clock.Set(1234);
    EXPECT_EQ(platform::TickCount(), 1234u);
}

TEST(TickCount, RealClockMovesForward)
{
    const uint32_t a = platform::TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(uint32_t(platform::TickCount() - a), 4u);
}

TEST(GamePath, MatchesComponentsWithoutRegardToCase)
{
    const fs::path dir = TempFolder("case");
    formats::WriteFile((dir / "static" / "shapes.vga").string(), {1, 2, 3});
    const std::string folder = platform::WithTrailingSeparator(dir.string());
    const std::string resolved = platform::NativePath(folder + "STATIC\\SHAPES.VGA");
#ifdef _WIN32
    // The file system itself ignores case: only the separators change.
    EXPECT_EQ(resolved, folder + "STATIC\\SHAPES.VGA");
#else
    EXPECT_EQ(resolved, (dir / "static" / "shapes.vga").string());
#endif
    uint8_t buf[3];
    platform::ReadFilePrefix(folder + "STATIC\\SHAPES.VGA", buf, 3);
    EXPECT_EQ(buf[2], 3);
    // A name that matches nothing is left as written, so the error names it.
#ifdef _WIN32
    EXPECT_EQ(platform::NativePath(folder + "STATIC/NOPE.DAT"), folder + "STATIC\\NOPE.DAT");
#else
    EXPECT_EQ(platform::NativePath(folder + "STATIC\\NOPE.DAT"), folder + "static/NOPE.DAT");
#endif
    fs::remove_all(dir);
}

TEST(BinaryFile, MissingAndShortFilesRaiseErrorsNamingTheFile)
{
    const fs::path dir = TempFolder("short");
    const std::string folder = platform::WithTrailingSeparator(dir.string());
    formats::WriteFile(folder + "STATIC/TFA.DAT", formats::Bytes(100, 7));
    uint8_t buf[3072];
    try {
        platform::ReadFilePrefix(folder + "STATIC\\TFA.DAT", buf, sizeof buf);
        FAIL() << "short read not reported";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), folder + "STATIC" + platform::kSeparator + "TFA.DAT: expected 3072 bytes, got 100");
    }
    try {
        platform::BinaryFile missing(folder + "STATIC\\MISSING.DAT");
        FAIL() << "missing file not reported";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("MISSING.DAT"), std::string::npos);
    }
    {
        platform::BinaryFile f(folder + "STATIC\\TFA.DAT");
        EXPECT_EQ(f.FileSize(), 100);
        f.Seek(98);
        EXPECT_EQ(f.ReadByte(), 7);
        EXPECT_THROW(f.ReadInt32(), EInOutError);
    }  // closed first: Windows removes no open file
    fs::remove_all(dir);
}

TEST(Console, LinesFromTwoThreadsStayWhole)
{
    platform::ConsoleCapture capture;
    auto writer = [](char c) {
        for (int i = 0; i < 200; ++i)
            platform::ConsoleLine(std::string(50, c));
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 400u);
    for (const auto& l : lines)
        EXPECT_TRUE(l == std::string(50, 'a') || l == std::string(50, 'b'));
    EXPECT_EQ(capture.CountStartingWith("a"), 200);
}

TEST(ByteOrder, ValuesAreWrittenAndReadLowByteFirst)
{
    uint8_t b[8] = {};
    platform::PutU32(b, 0x04030201);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[3], 4);
    EXPECT_EQ(platform::GetU32(b), 0x04030201u);
    EXPECT_EQ(platform::GetU16(b + 2), 0x0403);
    platform::PutI16(b, -2);
    EXPECT_EQ(b[0], 0xFE);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(platform::GetI16(b), -2);
    platform::PutI32(b, -1);
    EXPECT_EQ(platform::GetU32(b), 0xFFFFFFFFu);  // high bytes do not sign-extend into the result
    platform::PutF64(b, 1.0);
    EXPECT_EQ(b[6], 0xF0);
    EXPECT_EQ(b[7], 0x3F);
    EXPECT_EQ(platform::GetF64(b), 1.0);
    platform::PutF32(b, -0.5f);
    EXPECT_EQ(b[3], 0xBF);
    EXPECT_EQ(platform::GetF32(b), -0.5f);
    platform::PutU64(b, 0x8877665544332211ull);
    EXPECT_EQ(b[7], 0x88);
    EXPECT_EQ(platform::GetU64(b), 0x8877665544332211ull);
}
