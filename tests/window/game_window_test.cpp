// The game window on the offscreen platform with a tiny game: the finished picture
// against the drawing functions called directly, the console, speech, gumps, the
// pointer, the click report, full screen, the hand-over with the render thread, and
// the keys that need no server.
#include "window/game_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "net/alloc_counter.h"
#include "net/game_timer.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "support/mini_game.h"
#include "support/temp_folder.h"
#include "view/scaler.h"
#include "view/world_renderer.h"
#include "window/gump_list.h"

namespace {

// The world picture the render thread would have drawn: a pattern no overlay makes.
void FillWorldPicture()
{
    for (int y = 0; y < kViewHeight; ++y)
        for (int x = 0; x < kViewWidth; ++x)
            ColourBuffer[y][x] = uint32_t(0x00200000 | (y << 8) | x);
}

std::vector<uint32_t> Pixels(const QImage& image)
{
    std::vector<uint32_t> pixels;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        pixels.insert(pixels.end(), row, row + image.width());
    }
    return pixels;
}

std::vector<uint32_t> ColourPixels()
{
    return std::vector<uint32_t>(&ColourBuffer[0][0], &ColourBuffer[0][0] + kViewWidth * kViewHeight);
}

class GameWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "game_window_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QApplication(argc, argv);
        static support::TempFolder game("game_window_test");
        support::WriteMiniGame(game.Path());
        LoadStaticData(game.Path());
        LoadInterfaceShapes(game.Path());
    }

    void SetUp() override
    {
        form = std::make_unique<TFullScreenForm>();
        form->Actors = &actors;
        form->Gumps = &gumps;
        form->GumpsLock = &gumpLock;
        form->Timer = &timer;
        FillWorldPicture();
    }
    void TearDown() override { form.reset(); }

    // Shows the window without the process-wide objects (tests attach their own).
    void Show()
    {
        form->show();
        form->Actors = &actors;
        form->Gumps = &gumps;
        form->GumpsLock = &gumpLock;
        form->Timer = &timer;
    }

    void OpenSpeechGump(int gump = 54)
    {
        auto g = std::make_unique<TGumpRecord>();
        g->id = 1;
        g->x = 40;
        g->y = 20;
        g->gump = gump;
        gumps.Insert(g);
    }

    platform::FakeClock clock{5000};
    net::TNPCList actors;
    TGumpList gumps;
    std::mutex gumpLock;
    net::TGameTimer timer{net::TGameTimer::LocalMode};
    std::unique_ptr<TFullScreenForm> form;
};

TEST_F(GameWindow, StartsWithTheDescribedViewState)
{
    EXPECT_EQ(form->windowTitle(), "vx");
    EXPECT_EQ(form->CentreX(), 940);
    EXPECT_EQ(form->CentreY(), 1220);
    EXPECT_EQ(form->MaxLift(), 16);
    EXPECT_FALSE(form->FullScreen);
    EXPECT_FALSE(form->ShowHelp);
    EXPECT_FALSE(form->ShowPerf);
    EXPECT_TRUE(form->ScalerOn);
    EXPECT_EQ(form->ConsoleOffset, 0);
    EXPECT_EQ(form->FrameCounter, 0u);
    for (const std::string& line : form->ConsoleLines)
        EXPECT_TRUE(line.empty());
    EXPECT_FALSE(form->RetransmitTimer->isActive());
    EXPECT_EQ(form->RetransmitTimer->interval(), 50);
}

TEST_F(GameWindow, PresentedFrameMatchesTheDrawingCallsInOrder)
{
    Show();
    form->ShowHelp = true;
    form->ShowPerf = true;
    form->ChatTyping = true;
    form->ChatText = "hello there";
    form->MouseX = 250;
    form->MouseY = 30;
    OpenSpeechGump();
    for (const char* text : {"first", "second one", "third and last"})
        form->SpeechHistory.Add(text);
    {
        auto r = std::make_unique<net::TNPCRecord>();
        r->ID = 7;
        r->X = 945;
        r->Y = 1222;
        r->Speech.Assign("Hail!");
        r->SpeechUntil = 9000;
        actors.InsertEntry(std::move(r));
    }
    ObjectsConsidered = 123;
    ObjectsDrawn = 45;

    form->PresentFrame();
    ASSERT_EQ(form->FrameCounter, 1u);
    const std::vector<uint32_t> presented = Pixels(form->ViewBitmap);

    // The same picture by the drawing functions, in the described order.
    FillWorldPicture();
    VxShapes->DrawText("Hail!", 1, (945 - 940 + 20) * 8 - 4 * 5, (1222 - 1220 + 12) * 8 - 27);
    VxShapes->DrawGump(40, 20, 54, 0);
    VxShapes->DrawText("third and last", 5, 84, 55);
    VxShapes->DrawText("second one", 5, 84, 61);
    VxShapes->DrawText("first", 5, 84, 67);
    VxShapes->DrawText("Veltharn Engine Help", 1, 1, 10);
    const char* help[] = {"F1: This Help Screen", "F2: Toggle Frame Limiter", "F3: Toggle Perf Info",
                          "F4: Toggle Chat Log", "F5: Toggle Procedural Scaler", "ALT-X: Quit",
                          "T: Type Chat Message", "Arrows: Walk", "R-Mouse: Walk", "F10: Toggle Fullscreen"};
    for (int i = 0; i < 10; ++i)
        VxShapes->DrawText(help[i], 1, 10, 20 + 10 * i);
    // First frame at tick 5000: counted from 5010, so 1000 / 5010 and 0 frames.
    char inst[32];
    std::snprintf(inst, sizeof inst, "Inst: %.2f", 1000.0 / 5010);
    VxShapes->DrawText(inst, 1, 1, 10);
    VxShapes->DrawText("Ave: 0.00", 1, 1, 20);
    VxShapes->DrawText("Frames: 0", 1, 1, 30);
    VxShapes->DrawText("maxLift: 16", 1, 1, 40);
    VxShapes->DrawText("WX: 940 WY: 1220", 1, 1, 50);
    VxShapes->DrawText("Considered: 123 Drawn: 45", 1, 1, 60);
    VxShapes->DrawText("Ping: 0", 1, 1, 70);
    VxShapes->DrawText("cc: 0", 1, 1, 80);
    VxShapes->DrawText("GTPing: 0", 1, 1, 90);
    VxShapes->DrawText(": hello there", 1, 1, 170);
    VxShapes->DrawPointer(250, 30, TGameView::PointerFrame(250, 30));
    const std::vector<uint32_t> expected = ColourPixels();
    ASSERT_EQ(presented.size(), expected.size());
    int differing = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        differing += presented[i] != expected[i];
    EXPECT_EQ(differing, 0);

    // And shown: doubled by the scaler and stretched over the 640 x 400 paint box.
    QImage scaled(640, 400, QImage::Format_RGB32);
    scaled.fill(0);
    ScaleDouble(&ColourBuffer[0][0], kViewWidth, kViewWidth, kViewHeight, reinterpret_cast<uint32_t*>(scaled.bits()),
                640);
    QImage shown(form->ScreenSize(), QImage::Format_RGB32);
    StretchInto(scaled, shown, QRect(0, 0, shown.width() + 1, shown.height() + 1));
    EXPECT_TRUE(shown == form->Screen);
}

TEST_F(GameWindow, OverlaysAllocateNothingMinimapAndScrolledGumpIncluded)
{
    Show();
    form->ShowHelp = form->ShowPerf = form->ChatTyping = true;
    form->ChatText = "a chat line being typed";
    OpenSpeechGump();
    for (int i = 0; i < 30; ++i)
        form->SpeechHistory.Add("a line of speech");
    auto r = std::make_unique<net::TNPCRecord>();
    r->ID = 3;
    r->X = 941;
    r->Y = 1221;
    r->Speech.Assign("Hail!");
    r->SpeechUntil = 100000;
    actors.InsertEntry(std::move(r));
    form->SpeechScroll = 5;
    form->MinimapShown = true;
    auto overview = std::make_shared<TWorldOverview>();
    overview->Pixels.resize(kOverviewBytes);
    form->Overview = overview;
    net::testing::StartCountingAllocations();
    for (int i = 0; i < 5; ++i) {
        clock.Advance(50);
        form->DrawOverlays();
        form->SlideConsole();
    }
    EXPECT_EQ(net::testing::StopCountingAllocations(), 0);
}

TEST_F(GameWindow, SpeechShowsUntilItsTimeIncludingAcrossTheTickCountsWrap)
{
    Show();
    auto speak = [&](int32_t id, uint32_t until) {
        auto r = std::make_unique<net::TNPCRecord>();
        r->ID = id;
        r->X = 940;
        r->Y = 1220;
        r->Speech.Assign("Hi");
        r->SpeechUntil = until;
        actors.InsertEntry(std::move(r));
    };
    speak(1, 5100);
    clock.Set(5099);
    form->PresentFrame();
    EXPECT_EQ(actors.FindEntry(1)->Speech.Length, 2);
    EXPECT_NE(Pixels(form->ViewBitmap), (FillWorldPicture(), VxShapes->DrawPointer(0, 0, 14), ColourPixels()));

    FillWorldPicture();
    clock.Set(5100);  // the first frame at SpeechUntil empties it and draws nothing
    form->PresentFrame();
    EXPECT_EQ(actors.FindEntry(1)->Speech.Length, 0);
    const std::vector<uint32_t> shown = Pixels(form->ViewBitmap);
    FillWorldPicture();
    VxShapes->DrawPointer(0, 0, TGameView::PointerFrame(0, 0));
    EXPECT_EQ(shown, ColourPixels());

    // Said just before the tick count wraps, for five seconds: still shown after it.
    clock.Set(0xFFFFFF00u);
    speak(2, 0xFFFFFF00u + 5000);
    clock.Set(100);
    FillWorldPicture();
    form->PresentFrame();
    EXPECT_EQ(actors.FindEntry(2)->Speech.Length, 2);
}

TEST_F(GameWindow, SpeechGumpShowsTheNewestTextsUpToTwenty)
{
    Show();
    OpenSpeechGump();
    auto presentAndExpect = [&](uint32_t count, int lines) {
        form->SpeechHistory = {};
        for (uint32_t i = 0; i < count; ++i)
            form->SpeechHistory.Add(std::string(1 + i % 9, char('A' + i % 26)));
        FillWorldPicture();
        form->PresentFrame();
        const std::vector<uint32_t> presented = Pixels(form->ViewBitmap);
        FillWorldPicture();
        VxShapes->DrawGump(40, 20, 54, 0);
        for (int k = 0; k < lines; ++k)
            VxShapes->DrawText(form->SpeechHistory.Texts[size_t(99 - k)].View(), 5, 84, 55 + 6 * k);
        VxShapes->DrawPointer(0, 0, 14);
        EXPECT_EQ(presented, ColourPixels()) << "count " << count;
    };
    presentAndExpect(3, 3);
    presentAndExpect(250, 20);
    presentAndExpect(0, 0);
}

TEST_F(GameWindow, ConsoleSlidesOutInTwelveFramesAndBack)
{
    TGameView view;
    view.ToggleConsole();
    std::vector<int> offsets;
    for (int i = 0; i < 14; ++i) {
        view.SlideConsole();
        offsets.push_back(view.ConsoleOffset);
    }
    EXPECT_EQ(offsets, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 120, 120}));
    EXPECT_EQ(view.ConsoleStep, 0);

    TGameView back;
    back.ToggleConsole();
    for (int i = 0; i < 6; ++i)
        back.SlideConsole();
    back.ToggleConsole();  // closed at 60
    offsets.clear();
    for (int i = 0; i < 7; ++i) {
        back.SlideConsole();
        offsets.push_back(back.ConsoleOffset);
    }
    EXPECT_EQ(offsets, (std::vector<int>{50, 40, 30, 20, 10, 0, 0}));

    // The key pressed twice between two frames, at either end: the panel stays put,
    // and the next press slides it as usual.
    TGameView twice;
    twice.ToggleConsole();
    twice.ToggleConsole();
    twice.SlideConsole();
    EXPECT_EQ(twice.ConsoleOffset, 0);
    EXPECT_EQ(twice.ConsoleStep, 0);
    twice.ToggleConsole();
    for (int i = 0; i < 12; ++i)
        twice.SlideConsole();
    ASSERT_EQ(twice.ConsoleOffset, 120);
    twice.ToggleConsole();
    twice.ToggleConsole();
    twice.SlideConsole();
    EXPECT_EQ(twice.ConsoleOffset, 120);
    EXPECT_EQ(twice.ConsoleStep, 0);
    EXPECT_TRUE(twice.ConsoleShown);
    twice.ToggleConsole();
    twice.SlideConsole();
    EXPECT_EQ(twice.ConsoleOffset, 110);
}

TEST_F(GameWindow, ConsoleTakesTheBottomOfA480RowWindow)
{
    Show();
    form->resize(640, 480);
    form->ScalerOn = false;
    form->ConsoleOffset = 120;
    EXPECT_EQ(form->ConsoleRows(480), 180);
    form->AddLogLine("HELLO");
    for (int y = 0; y < kViewHeight; ++y)
        for (int x = 0; x < kViewWidth; ++x)
            ColourBuffer[y][x] = 0x00336699;
    form->MouseX = 319;
    form->MouseY = 199;  // the pointer out of the way
    form->PresentFrame();
    ASSERT_EQ(form->Screen.size(), QSize(640, 480));
    EXPECT_EQ(form->Screen.pixel(10, 0) & 0xFFFFFF, 0x336699u);
    EXPECT_EQ(form->Screen.pixel(10, 300) & 0xFFFFFF, 0x336699u);  // the view: rows 0 to 300
    EXPECT_EQ(form->Screen.pixel(600, 301) & 0xFFFFFF, 0xFFFFFFu);  // the console: the rest
    EXPECT_EQ(form->Screen.pixel(600, 479) & 0xFFFFFF, 0xFFFFFFu);
    // The newest log line stands above the edit line, in black.
    bool dark = false;
    for (int y = 301; y < 480 && !dark; ++y)
        for (int x = 0; x < 200 && !dark; ++x)
            dark = (form->Screen.pixel(x, y) & 0xFFFFFF) < 0x808080;
    EXPECT_TRUE(dark);
}

TEST_F(GameWindow, WholePixelPlacementTakesTheLargestMultipleThatFitsAndCentresIt)
{
    // Off: the described view rectangle, whatever the shape.
    TViewPlacement p = PlaceView(1000, 700, 0, false);
    EXPECT_EQ(p.Multiple, 0);
    EXPECT_EQ(p.Rect, QRect(0, 0, 1001, 701));
    p = PlaceView(1000, 700, 105, false);
    EXPECT_EQ(p.Rect, QRect(0, 0, 1001, 596));

    p = PlaceView(1000, 700, 0, true);
    EXPECT_EQ(p.Multiple, 3);
    EXPECT_EQ(p.Rect, QRect(20, 50, 960, 600));
    p = PlaceView(1300, 850, 0, true);
    EXPECT_EQ(p.Multiple, 4);
    EXPECT_EQ(p.Rect, QRect(10, 25, 1280, 800));
    // The console takes the bottom: the view fits in what is left above it.
    p = PlaceView(1000, 700, 105, true);
    EXPECT_EQ(p.Multiple, 2);
    EXPECT_EQ(p.Rect, QRect(180, 97, 640, 400));
    // Too small for even 1x: the stretch.
    p = PlaceView(300, 180, 0, true);
    EXPECT_EQ(p.Multiple, 0);
    EXPECT_EQ(p.Rect, QRect(0, 0, 301, 181));
}

TEST_F(GameWindow, WholePixelMouseMapsThroughTheSameGeometryAt3xAnd4x)
{
    Show();
    form->WholePixelScaling = true;
    form->resize(1000, 700);  // 3x at (20, 50), 960 x 600
    ASSERT_EQ(form->Placement().Multiple, 3);
    int vx = -1, vy = -1;
    form->WindowToView(20, 50, vx, vy);
    EXPECT_EQ(vx, 0);
    EXPECT_EQ(vy, 0);
    form->WindowToView(20 + 3 * 160, 50 + 3 * 100, vx, vy);
    EXPECT_EQ(vx, 160);
    EXPECT_EQ(vy, 100);
    form->WindowToView(20 + 3 * 100 + 1, 50 + 3 * 40 + 2, vx, vy);  // 100.33, 40.67
    EXPECT_EQ(vx, 100);
    EXPECT_EQ(vy, 41);
    form->WindowToView(5, 10, vx, vy);  // on the top-left border: the corner pixel
    EXPECT_EQ(vx, 0);
    EXPECT_EQ(vy, 0);
    form->WindowToView(999, 699, vx, vy);
    EXPECT_EQ(vx, 319);
    EXPECT_EQ(vy, 199);
    form->FormMouseMove(20 + 3 * 100 + 2, 50 + 3 * 40 + 2);  // the pixel under the mouse
    EXPECT_EQ(form->MouseX, 100);
    EXPECT_EQ(form->MouseY, 40);

    form->resize(1300, 850);  // 4x at (10, 25), 1280 x 800
    ASSERT_EQ(form->Placement().Multiple, 4);
    form->WindowToView(10 + 4 * 250 + 1, 25 + 4 * 150 + 3, vx, vy);  // 250.25, 150.75
    EXPECT_EQ(vx, 250);
    EXPECT_EQ(vy, 151);
    form->FormMouseMove(10 + 4 * 250 + 3, 25 + 4 * 150 + 3);
    EXPECT_EQ(form->MouseX, 250);
    EXPECT_EQ(form->MouseY, 150);
    form->FormMouseMove(1299, 0);
    EXPECT_EQ(form->MouseX, 319);
    EXPECT_EQ(form->MouseY, 0);

    // Off again: the described mapping over the whole paint box.
    form->WholePixelScaling = false;
    form->WindowToView(650, 425, vx, vy);
    EXPECT_EQ(vx, 160);
    EXPECT_EQ(vy, 100);
}

TEST_F(GameWindow, WholePixelShowsEqualBlocksWithBlackBorders)
{
    Show();
    form->MouseX = 319;
    form->MouseY = 199;
    form->WholePixelScaling = true;
    form->resize(1000, 700);
    // Scaler off: every view pixel a 3 x 3 block of its own colour.
    form->ScalerOn = false;
    FillWorldPicture();
    form->PresentFrame();
    ASSERT_EQ(form->Screen.size(), QSize(1000, 700));
    int wrong = 0;
    for (int y = 0; y < 700; ++y) {
        for (int x = 0; x < 1000; ++x) {
            const uint32_t got = form->Screen.pixel(x, y) & 0xFFFFFF;
            const bool inside = x >= 20 && x < 980 && y >= 50 && y < 650;
            const uint32_t want =
                inside ? reinterpret_cast<const uint32_t*>(form->ViewBitmap.constScanLine((y - 50) / 3))[(x - 20) / 3] &
                             0xFFFFFF
                       : 0;
            wrong += got != want;
        }
    }
    EXPECT_EQ(wrong, 0);

    // Scaler on, 4x: the scaler's 640 x 400 picture in 2 x 2 blocks.
    form->ScalerOn = true;
    form->resize(1300, 850);
    FillWorldPicture();
    form->PresentFrame();
    QImage scaled(640, 400, QImage::Format_RGB32);
    scaled.fill(0);
    ScaleDouble(reinterpret_cast<const uint32_t*>(form->ViewBitmap.constBits()), kViewWidth, kViewWidth, kViewHeight,
                reinterpret_cast<uint32_t*>(scaled.bits()), 640);
    wrong = 0;
    for (int y = 0; y < 850; ++y) {
        for (int x = 0; x < 1300; ++x) {
            const bool inside = x >= 10 && x < 1290 && y >= 25 && y < 825;
            const uint32_t want = inside ? scaled.pixel((x - 10) / 2, (y - 25) / 2) & 0xFFFFFF : 0;
            wrong += (form->Screen.pixel(x, y) & 0xFFFFFF) != want;
        }
    }
    EXPECT_EQ(wrong, 0);

    // 3x from the scaler's picture: every view pixel's block has the same inner pattern.
    form->resize(1000, 700);
    form->PresentFrame();
    wrong = 0;
    for (int vy = 0; vy < kViewHeight - 1; ++vy)
        for (int vx = 0; vx < kViewWidth - 1; ++vx)
            for (int b = 0; b < 3; ++b)
                for (int a = 0; a < 3; ++a)
                    wrong += (form->Screen.pixel(20 + 3 * vx + a, 50 + 3 * vy + b) & 0xFFFFFF) !=
                             (scaled.pixel(2 * vx + (a == 2), 2 * vy + (b == 2)) & 0xFFFFFF);
    EXPECT_EQ(wrong, 0);
}

TEST_F(GameWindow, SettingOffKeepsTheDescribedStretchInAnyWindowShape)
{
    Show();
    form->MouseX = 319;
    form->MouseY = 199;
    form->resize(1000, 700);
    ASSERT_FALSE(form->WholePixelScaling);
    for (const bool scaler : {true, false}) {
        form->ScalerOn = scaler;
        FillWorldPicture();
        form->PresentFrame();
        QImage source = form->ViewBitmap;
        if (scaler) {
            source = QImage(640, 400, QImage::Format_RGB32);
            source.fill(0);
            ScaleDouble(reinterpret_cast<const uint32_t*>(form->ViewBitmap.constBits()), kViewWidth, kViewWidth,
                        kViewHeight, reinterpret_cast<uint32_t*>(source.bits()), 640);
        }
        QImage shown(1000, 700, QImage::Format_RGB32);
        StretchInto(source, shown, QRect(0, 0, 1001, 701));
        EXPECT_TRUE(shown == form->Screen) << "scaler " << scaler;
    }
}

// Run by ctest a second time with QT_SCALE_FACTOR=2 (GameWindowHighDensity): the
// screen is composed at the display's resolution and shown without another scaling.
TEST_F(GameWindow, OnAHighDensityDisplayThePictureIsShownPixelForPixel)
{
    Show();
    if (form->PixelRatio() != 2.0)
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    form->MouseX = 319;
    form->MouseY = 199;
    form->resize(500, 350);  // 1000 x 700 display pixels: 3x at (20, 50)
    form->WholePixelScaling = true;
    FillWorldPicture();
    form->PresentFrame();
    ASSERT_EQ(form->Screen.size(), QSize(1000, 700));
    ASSERT_EQ(form->Placement().Multiple, 3);
    const QImage shown = form->PaintBox1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(1000, 700));
    EXPECT_TRUE(shown == form->Screen);
    // The mouse, in window units, maps through the display's pixels.
    int vx = -1, vy = -1;
    form->WindowToView(10 + 150, 25 + 150, vx, vy);  // display (320, 350): view (100, 100)
    EXPECT_EQ(vx, 100);
    EXPECT_EQ(vy, 100);
    form->WholePixelScaling = false;
    form->PresentFrame();
    EXPECT_TRUE(form->PaintBox1->grab().toImage().convertToFormat(QImage::Format_RGB32) == form->Screen);
}

TEST_F(GameWindow, F7SwitchesWholePixelScalingAndHandsItToBeStored)
{
    std::vector<bool> stored;
    form->WholePixelScalingChanged = [&](bool on) { stored.push_back(on); };
    form->FormKeyUp(vk::F7, false);
    EXPECT_TRUE(form->WholePixelScaling);
    form->FormKeyUp(vk::F7, false);
    EXPECT_FALSE(form->WholePixelScaling);
    EXPECT_EQ(stored, (std::vector<bool>{true, false}));
}

TEST_F(GameWindow, ScreenshotFileEqualsThePresentedPicture)
{
    support::TempFolder folder("game_window_shots");
    form->ScreenshotFolder = QString::fromStdString(folder.Path()) + "shots";
    Show();
    form->resize(1000, 700);
    form->WholePixelScaling = true;
    form->MinimapShown = true;
    form->ShowHelp = true;
    FillWorldPicture();
    form->PresentFrame();

    platform::ConsoleCapture out;  // the whole paths
    form->FormKeyUp(vk::F12, false);
    form->FormKeyUp(vk::F12, false);  // the same second: a file of its own
    const std::vector<std::string> logged = out.Lines();
    ASSERT_EQ(logged.size(), 2u);
    const std::string prefix = "Screenshot saved: ";
    ASSERT_EQ(logged[0].rfind(prefix, 0), 0u) << logged[0];
    ASSERT_EQ(logged[1].rfind(prefix, 0), 0u) << logged[1];
    const QString first = QString::fromStdString(logged[0].substr(prefix.size()));
    const QString second = QString::fromStdString(logged[1].substr(prefix.size()));
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.endsWith(".png"));
    for (const QString& path : {first, second}) {
        QImage saved(path);
        ASSERT_FALSE(saved.isNull()) << path.toStdString();
        EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) == form->Screen) << path.toStdString();
    }
}

TEST_F(GameWindow, ScreenshotThatCannotBeWrittenSaysWhy)
{
    support::TempFolder folder("game_window_noshots");
    const std::string blocker = folder.Path() + "a-file";
    std::fclose(std::fopen(blocker.c_str(), "w"));
    form->ScreenshotFolder = QString::fromStdString(blocker);  // a file where the folder should be
    std::vector<std::string> logged;
    form->ConnectionLog = [&](std::string_view line) { logged.emplace_back(line); };
    form->TakeScreenshot();  // nothing shown yet
    Show();
    form->PresentFrame();
    form->TakeScreenshot();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], "Screenshot not saved: no picture has been shown yet.");
    EXPECT_EQ(logged[1].rfind("Screenshot not saved: cannot create the folder ", 0), 0u) << logged[1];
}

TEST_F(GameWindow, ScreenshotLinesFitTheConsoleAndTheWholePathGoesToStandardOutput)
{
    QFont consoleFont;  // the console panel's: the default font, 10 pixels high
    consoleFont.setPixelSize(10);
    support::TempFolder folder("game_window_deep");
    std::fclose(std::fopen((folder.Path() + "a-file").c_str(), "w"));
    const std::pair<std::string, std::string> cases[] = {
        {folder.Path() + std::string(80, 'd') + "/shots", "Screenshot saved: veltharn-"},
        {folder.Path() + "a-file/" + std::string(80, 'e') + "/shots", "Screenshot not saved: cannot create the folder shots"},
    };
    Show();
    form->PresentFrame();
    for (const auto& [shots, console] : cases) {
        form->ScreenshotFolder = QString::fromStdString(shots);
        platform::ConsoleCapture out;
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F12, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &release);
        const std::string& shown = form->ConsoleLines[TGameView::ConsoleLogLines - 1];
        EXPECT_EQ(shown.rfind(console, 0), 0u) << shown;
        EXPECT_LE(QFontMetrics(consoleFont).horizontalAdvance(QString::fromLatin1(shown)), 320) << shown;
        ASSERT_EQ(out.Lines().size(), 1u);
        EXPECT_NE(out.Lines()[0].find(shots), std::string::npos) << out.Lines()[0];
    }
}

TEST_F(GameWindow, ScreenshotNamesStayUniqueWithinASecond)
{
    support::TempFolder folder("game_window_names");
    const QString dir = QString::fromStdString(folder.Path());
    const QString first = ScreenshotPath(dir, "2026-12-08_21-05-33");
    EXPECT_TRUE(first.endsWith("/veltharn-2026-12-08_21-05-33.png"));
    QFile(first).open(QIODevice::WriteOnly);
    const QString second = ScreenshotPath(dir, "2026-12-08_21-05-33");
    EXPECT_TRUE(second.endsWith("/veltharn-2026-12-08_21-05-33-2.png"));
}

TEST_F(GameWindow, PageKeysScrollTheSpeechGumpAndHoldItsLinesWhileNewOnesArrive)
{
    Show();
    form->MouseX = 319;
    form->MouseY = 199;
    for (int i = 0; i < 50; ++i)
        form->SpeechHistory.Add("line " + std::to_string(i));
    form->FormKeyUp(vk::PageUp, false);  // not shown: nothing
    EXPECT_EQ(form->SpeechScroll, 0);
    form->FormKeyUp(vk::F4, false);
    form->FormKeyUp(vk::PageUp, false);
    EXPECT_EQ(form->SpeechScroll, 20);
    form->FormKeyUp(vk::PageUp, false);
    EXPECT_EQ(form->SpeechScroll, 30);  // 50 lines: at most 30 back
    form->FormKeyUp(vk::PageDown, false);
    EXPECT_EQ(form->SpeechScroll, 10);

    // Drawn: line k is history position 99 - 10 - k.
    const auto expectGump = [&](int scroll) {
        FillWorldPicture();
        form->PresentFrame();
        const std::vector<uint32_t> presented = Pixels(form->ViewBitmap);
        FillWorldPicture();
        VxShapes->DrawGump(40, 20, 54, 0);
        for (int k = 0; k < 20; ++k)
            VxShapes->DrawText(form->SpeechHistory.Texts[size_t(99 - scroll - k)].View(), 5, 84, 55 + 6 * k);
        VxShapes->DrawPointer(319, 199, TGameView::PointerFrame(319, 199));
        EXPECT_TRUE(presented == ColourPixels()) << "scroll " << scroll;
    };
    expectGump(10);
    // Two new lines: the gump stays on the same lines, now two further back.
    form->SpeechHistory.Add("newer");
    form->SpeechHistory.Add("newest");
    expectGump(12);
    EXPECT_EQ(form->SpeechScroll, 12);
    form->FormKeyUp(vk::PageDown, false);
    EXPECT_EQ(form->SpeechScroll, 0);
    expectGump(0);
    // Closed and opened again: the newest lines.
    form->FormKeyUp(vk::PageUp, false);
    form->FormKeyUp(vk::F4, false);
    form->FormKeyUp(vk::F4, false);
    EXPECT_EQ(form->SpeechScroll, 0);
}

TEST_F(GameWindow, NewKeysArriveAsTheirVirtualKeyCodes)
{
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34}, {Qt::Key_F6, 117},
                                            {Qt::Key_F7, 118},     {Qt::Key_F12, 123}};
    for (const auto& [key, code] : keys)
        EXPECT_EQ(VirtualKey(QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier)), code) << code;
    // Modifiers and the other keys keep the movement books too; a shifted digit is
    // still its digit, and the number pad has codes of its own.
    const std::tuple<int, Qt::KeyboardModifiers, int> more[] = {
        {Qt::Key_Shift, Qt::ShiftModifier, 16},   {Qt::Key_Alt, Qt::AltModifier, 18},
        {Qt::Key_Control, Qt::ControlModifier, 17}, {Qt::Key_Tab, Qt::NoModifier, 9},
        {Qt::Key_Delete, Qt::NoModifier, 46},      {Qt::Key_Exclam, Qt::ShiftModifier, '1'},
        {Qt::Key_ParenRight, Qt::ShiftModifier, '0'}, {Qt::Key_Asterisk, Qt::ShiftModifier, '8'},
        {Qt::Key_5, Qt::KeypadModifier, 101},      {Qt::Key_Asterisk, Qt::KeypadModifier, 106},
        {Qt::Key_Home, Qt::KeypadModifier, vk::Home}, {Qt::Key_Semicolon, Qt::NoModifier, 186},
        {Qt::Key_BracketRight, Qt::NoModifier, 221}};
    for (const auto& [key, modifiers, code] : more)
        EXPECT_EQ(VirtualKey(QKeyEvent(QEvent::KeyPress, key, modifiers)), code) << code;
    // Through the window's own key events: the release works the switch.
    Show();
    for (int i = 0; i < 45; ++i)
        form->SpeechHistory.Add("line");
    form->ToggleSpeechGump();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_PageUp, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &press);
    QCoreApplication::sendEvent(form.get(), &release);
    EXPECT_EQ(form->SpeechScroll, 20);
}

TEST_F(GameWindow, AltXClosesTheWindowAlsoWhenAltComesUpFirst)
{
    Show();
    const auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(type, key, modifiers);
        QCoreApplication::sendEvent(form.get(), &event);
    };
    // X alone, and X pressed after Alt came up: the window stays.
    send(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier);
    send(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier);
    send(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    send(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    send(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier);
    send(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier);
    EXPECT_TRUE(form->isVisible());
    // The chord typed quickly: Alt down, X down, Alt up, X up.
    send(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    send(QEvent::KeyPress, Qt::Key_X, Qt::AltModifier);
    send(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    send(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Closed());
}

TEST_F(GameWindow, MinimapDotIsAtThePlayersTile)
{
    Show();
    form->MouseX = 0;
    form->MouseY = 199;
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        actors.Head()->X = 940;
        actors.Head()->Y = 1220;
        auto r = std::make_unique<net::TNPCRecord>();
        r->ID = 9;
        r->X = 950;
        r->Y = 1215;
        actors.InsertEntry(std::move(r));
    }
    std::vector<bool> wanted;
    form->MinimapWanted = [&] { wanted.push_back(true); };
    form->FormKeyUp(vk::F6, false);
    ASSERT_TRUE(form->MinimapShown);
    EXPECT_EQ(wanted.size(), 1u);
    form->PresentFrame();  // centred on (940, 1220) by the view state
    const auto at = [&](int x, int y) { return form->ViewBitmap.pixel(x, y) & 0xFFFFFF; };
    const int px = kMinimapLeft + 32, py = kMinimapTop + 32;
    for (int y = py - 1; y <= py + 1; ++y)
        for (int x = px - 1; x <= px + 1; ++x)
            EXPECT_EQ(at(x, y), kMinimapPlayerColour) << x << "," << y;
    EXPECT_EQ(at(px + 10, py - 5), kMinimapActorColour);
    EXPECT_EQ(at(kMinimapLeft - 1, kMinimapTop), 0u);  // the frame
    form->FormKeyUp(vk::F6, false);
    EXPECT_FALSE(form->MinimapShown);
    FillWorldPicture();
    form->PresentFrame();
    EXPECT_EQ(at(px, py), (0x00200000u | (uint32_t(py) << 8) | uint32_t(px)));
}

TEST_F(GameWindow, LogKeepsNineteenLinesAndFeedsTheConnectionLog)
{
    std::vector<std::string> fed;
    form->ConnectionLog = [&](std::string_view line) { fed.emplace_back(line); };
    for (int i = 1; i <= 25; ++i)
        form->AddLogLine("line " + std::to_string(i));
    EXPECT_EQ(form->ConsoleLines[0], "line 7");
    EXPECT_EQ(form->ConsoleLines[18], "line 25");
    EXPECT_EQ(form->ConsoleLines[19], "");  // the edit line is not part of the log
    EXPECT_EQ(fed.size(), 25u);
    EXPECT_EQ(fed.back(), "line 25");
}

TEST_F(GameWindow, FrameRatesSurviveTwoFramesInOneTick)
{
    Show();
    form->ShowPerf = true;
    form->PresentFrame();  // tick 5000, counted as 5010
    clock.Set(5060);
    form->PresentFrame();
    EXPECT_DOUBLE_EQ(form->InstantRate, 20.0);
    form->PresentFrame();  // same tick
    EXPECT_DOUBLE_EQ(form->InstantRate, 20.0);
    EXPECT_TRUE(std::isfinite(form->AverageRate));
    EXPECT_DOUBLE_EQ(form->AverageRate, 2 / 0.06);
}

TEST_F(GameWindow, PointerPointsAwayFromTheCentreInThreeBands)
{
    EXPECT_EQ(TGameView::PointerFrame(160, 100), 14);  // dy rounds to 0: west, nearest band
    EXPECT_EQ(TGameView::PointerFrame(319, 100), 26);  // r 0.99: east, far band
    EXPECT_EQ(TGameView::PointerFrame(160, 0), 24);    // north, far band
    EXPECT_EQ(TGameView::PointerFrame(160, 199), 28);  // south, far band
    EXPECT_EQ(TGameView::PointerFrame(160, 150), 20);  // south, middle band
    EXPECT_EQ(TGameView::PointerFrame(300, 190), 27);  // south-east
    EXPECT_EQ(TGameView::PointerFrame(20, 10), 31);    // north-west
    EXPECT_EQ(TGameView::PointerFrame(200, 120), 11);  // south-east, near
}

TEST_F(GameWindow, ClickOnAnUnownedPixelReportsShapeZero)
{
    ClearOwners();
    form->MouseX = 168;
    form->MouseY = 91;
    platform::ConsoleCapture console;
    form->PaintBox1Click();
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{"Click", "-- Screen  : (168,91)", "-- World   : (941,1219)",
                                                         "-- ShapeNum: 0", "-- ChunkPos: (0,0)",
                                                         "-- Obstacle: (FALSE,FALSE)", "-- - Extent: (0,0)"}));
}

TEST_F(GameWindow, FullScreenWhileHiddenChangesOnlyTheFlagAndBorder)
{
    ASSERT_FALSE(form->isVisible());
    form->SetFullScreen(true);
    EXPECT_TRUE(form->FullScreen);
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->isFullScreen());
    form->SetFullScreen(false);
    EXPECT_FALSE(form->FullScreen);
    EXPECT_FALSE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(GameWindow, FullScreenComposesTheDescribedScreens)
{
    Show();
    form->SetFullScreen(true);
    EXPECT_EQ(form->ScreenSize(), QSize(640, 480));
    for (int y = 0; y < kViewHeight; ++y)
        for (int x = 0; x < kViewWidth; ++x)
            ColourBuffer[y][x] = 0x00445566;
    form->MouseX = 319;
    form->MouseY = 199;
    form->PresentFrame();
    EXPECT_EQ(form->Screen.pixel(100, 39) & 0xFFFFFF, 0u);  // the bar above
    EXPECT_EQ(form->Screen.pixel(100, 40) & 0xFFFFFF, 0x445566u);
    EXPECT_EQ(form->Screen.pixel(100, 437) & 0xFFFFFF, 0x445566u);
    EXPECT_EQ(form->Screen.pixel(100, 440) & 0xFFFFFF, 0u);  // the bar below
    form->ScalerOn = false;
    EXPECT_EQ(form->ScreenSize(), QSize(320, 240));
    form->PresentFrame();
    EXPECT_EQ(form->Screen.pixel(100, 19) & 0xFFFFFF, 0u);
    EXPECT_EQ(form->Screen.pixel(100, 20) & 0xFFFFFF, 0x445566u);
    EXPECT_EQ(form->Screen.pixel(100, 219) & 0xFFFFFF, 0x445566u);
    EXPECT_EQ(form->Screen.pixel(100, 220) & 0xFFFFFF, 0u);
    form->SetFullScreen(false);
    EXPECT_FALSE(form->isFullScreen());
}

// The render thread's fake world: counts the pictures it "draws".
std::atomic<int> worldPictures{0};
void CountPicture(int, int, int) { ++worldPictures; }
void NoCycle() {}
bool Open(int, int) { return false; }
void NoSleep(uint32_t) {}

template <typename Done>
bool PumpUntil(Done done, int ms = 10000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TEST_F(GameWindow, ClosingWhileAFrameWaitsForItsHandOverNeitherHangsNorDraws)
{
    TFrameWorld world;
    world.RenderWorld = CountPicture;
    world.CyclePalette = NoCycle;
    world.ObstacleX = Open;
    world.ObstacleY = Open;
    world.Sleep = NoSleep;
    std::mutex renderLock, viewLock;
    worldPictures = 0;
    RefreshThread = std::make_unique<TRefreshThread>(actors, timer, renderLock, viewLock, world);

    form->show();  // activation resumes the thread
    Show();
    // Frames arrive through the window's event loop.
    ASSERT_TRUE(PumpUntil([&] { return form->FrameCounter >= 3; }));

    // Let a frame wait for its hand-over, then close without running the event loop.
    QElapsedTimer elapsed;
    elapsed.start();
    while (uint32_t(worldPictures) <= form->FrameCounter && elapsed.elapsed() < 10000)
        QThread::yieldCurrentThread();
    const uint32_t frames = form->FrameCounter;
    ASSERT_GT(uint32_t(worldPictures), frames);  // drawn, waiting to be shown
    form->close();
    elapsed.restart();
    while (!RefreshThread->Parked() && elapsed.elapsed() < 10000)
        QThread::yieldCurrentThread();
    ASSERT_TRUE(RefreshThread->Parked());
    EXPECT_TRUE(viewLock.try_lock());
    viewLock.unlock();
    // The waiting frame's queued call comes late and draws nothing.
    QCoreApplication::processEvents();
    EXPECT_EQ(form->FrameCounter, frames);

    // Shown again, it goes on.
    form->show();
    ASSERT_TRUE(PumpUntil([&] { return form->FrameCounter >= frames + 3; }));
    form.reset();  // detaches the window from the running thread
    RefreshThread.reset();
}

TEST_F(GameWindow, ScreenshotCarriesTheGameTimeOfTheFrameItShows)
{
    // The render thread draws on the fake clock (game time = tick count here); F12
    // after the clock was set must name the time of a frame drawn since, in 250 ms
    // steps, as the PNG text that lets pictures of two clients be matched.
    TFrameWorld world;
    world.RenderWorld = CountPicture;
    world.CyclePalette = NoCycle;
    world.ObstacleX = Open;
    world.ObstacleY = Open;
    world.Sleep = NoSleep;
    std::mutex renderLock, viewLock;
    RefreshThread = std::make_unique<TRefreshThread>(actors, timer, renderLock, viewLock, world);
    support::TempFolder folder("game_window_times");
    form->ScreenshotFolder = QString::fromStdString(folder.Path()) + "shots";
    form->show();
    Show();
    const std::pair<uint32_t, const char*> cases[] = {{5000, "5000"}, {6300, "6250"}, {7999, "7750"}};
    for (const auto& [tick, shown] : cases) {
        clock.Set(tick);
        // The frame waiting for its hand-over may be older; the one after it is not.
        const uint32_t frames = form->FrameCounter;
        ASSERT_TRUE(PumpUntil([&] { return form->FrameCounter >= frames + 2; }));
        platform::ConsoleCapture out;
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F12, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &release);
        ASSERT_EQ(out.Lines().size(), 1u);
        const std::string path = out.Lines()[0].substr(std::string("Screenshot saved: ").size());
        EXPECT_EQ(QImage(QString::fromStdString(path)).text("Game time").toStdString(), shown) << path;
    }
    form.reset();
    RefreshThread.reset();
}

// --- keys that need no server ---

class RecordingLink : public TGameInputLink {
public:
    std::array<bool, 256> down{};
    std::vector<std::string> sent;
    bool IsKeyDown(uint8_t key) override { return down[key]; }
    void KeyPressed(uint8_t key) override
    {
        down[key] = true;
        sent.push_back("press " + std::to_string(key));
    }
    void KeyReleased(uint8_t key) override
    {
        down[key] = false;
        sent.push_back("release " + std::to_string(key));
    }
    void SendChat(std::string_view text) override { sent.push_back("chat " + std::string(text)); }
    void SendWalkTo(int vx, int vy, int tx, int ty) override
    {
        sent.push_back("walk " + std::to_string(vx) + "," + std::to_string(vy) + " to " + std::to_string(tx) + "," +
                       std::to_string(ty));
    }
    void ResendWalkTarget(int mx, int my, int, int) override
    {
        resent.push_back(std::to_string(mx) + "," + std::to_string(my));
    }
    std::vector<std::string> resent;  // the mouse positions walk targets were re-checked at
    void SendWalkStop() override { sent.push_back("stop"); }
};

class GameKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.Link = &link;
        view.Actors = &actors;
        view.Gumps = &gumps;
        view.GumpsLock = &gumpLock;
    }
    void Tap(int key, bool alt = false)
    {
        view.FormKeyDown(key);
        view.FormKeyUp(key, alt);
    }

    class QuittingView : public TGameView {
    public:
        bool quit = false;
        void Quit() override { quit = true; }
    } view;
    RecordingLink link;
    net::TNPCList actors;
    TGumpList gumps;
    std::mutex gumpLock;
};

TEST_F(GameKeys, ConsoleEditLineTakesCapitalsAndEnterLogsIt)
{
    Tap(vk::Console);
    EXPECT_TRUE(view.ConsoleShown);
    for (int key : std::vector<int>{'T', 'E', vk::Space, '4', vk::Left})
        view.FormKeyDown(key);
    view.FormKeyUp('T', false);
    EXPECT_EQ(view.ConsoleLines[TGameView::ConsoleEditLine], "TE 4");
    EXPECT_FALSE(view.ChatTyping);  // T went to the console, not to a chat line
    view.ChatTyping = true;
    view.FormKeyDown(vk::Enter);
    EXPECT_EQ(view.ConsoleLines[18], "TE 4");
    EXPECT_EQ(view.ConsoleLines[TGameView::ConsoleEditLine], "");
    // Enter went to the console: no chat was sent.
    for (const std::string& s : link.sent)
        EXPECT_EQ(s.rfind("chat", 0), std::string::npos);
}

TEST_F(GameKeys, ChatLineStartsOnTAndKeepsItsLimits)
{
    Tap('T');
    ASSERT_TRUE(view.ChatTyping);
    for (int c : std::vector<int>{'h', 'i', 26, 126, 200})
        view.FormKeyPress(c);
    EXPECT_EQ(view.ChatText, "hi");
    view.FormKeyPress(vk::Backspace);
    view.FormKeyPress(vk::Backspace);
    view.FormKeyPress(vk::Backspace);  // empty stays empty
    EXPECT_EQ(view.ChatText, "");
    for (int i = 0; i < 60; ++i)
        view.FormKeyPress('a' + i % 26);
    EXPECT_EQ(view.ChatText.size(), 50u);
    view.FormKeyPress(vk::Backspace);
    EXPECT_EQ(view.ChatText.size(), 49u);

    // Arrows neither move nor send while a chat line is typed; switches still act.
    link.sent.clear();
    view.FormKeyDown(vk::Up);
    view.FormKeyUp(vk::Up, false);
    view.FormKeyUp(vk::F1, false);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(actors.Head()->Flags, 0);
    EXPECT_TRUE(view.ShowHelp);

    const std::string typed = view.ChatText;
    view.FormKeyDown(vk::Enter);
    EXPECT_EQ(link.sent, std::vector<std::string>{"chat " + typed});
    EXPECT_FALSE(view.ChatTyping);
    EXPECT_EQ(view.ChatText, "");

    Tap('T');
    view.FormKeyPress('x');
    view.FormKeyDown(vk::Escape);
    EXPECT_FALSE(view.ChatTyping);
    EXPECT_EQ(view.ChatText, "");
}

TEST_F(GameKeys, ArrowsMoveThePlayerOncePerPressAndAHeldArrowOutlivesAChatLine)
{
    view.FormKeyDown(vk::Left);
    view.FormKeyDown(vk::Left);  // auto-repeat: nothing
    EXPECT_EQ(link.sent, std::vector<std::string>{"press 37"});
    EXPECT_EQ(actors.Head()->Flags, net::FlagMoving);
    EXPECT_EQ(actors.Head()->Facing, 4);
    view.FormKeyDown(vk::Up);
    EXPECT_EQ(actors.Head()->Facing, 2);

    // T released while the arrow is held: the arrow's release is ignored while typing.
    Tap('T');
    view.FormKeyUp(vk::Left, false);
    EXPECT_TRUE(link.down[vk::Left]);
    view.FormKeyDown(vk::Escape);
    view.FormKeyUp(vk::Left, false);
    EXPECT_FALSE(link.down[vk::Left]);
}

TEST_F(GameKeys, SwitchesActOnRelease)
{
    view.FormKeyUp(vk::Home, false);
    EXPECT_EQ(view.MaxLift(), 15);  // 16, the start value, gives 15
    view.View.MaxLift = 0;
    view.FormKeyUp(vk::End, false);
    EXPECT_EQ(view.MaxLift(), 0);
    view.FormKeyUp(vk::Home, false);
    EXPECT_EQ(view.MaxLift(), 1);

    view.FormKeyUp(vk::F4, false);
    ASSERT_NE(gumps.Find(1), nullptr);
    EXPECT_EQ(gumps.Find(1)->gump, 54);
    EXPECT_EQ(gumps.Find(1)->x, 40);
    view.FormKeyUp(vk::F4, false);
    EXPECT_EQ(gumps.Head(), nullptr);
    const std::string older = "MARROW REACH";
    view.WorldIdentity = &older;
    view.FormKeyUp(vk::F4, false);
    EXPECT_EQ(gumps.Find(1)->gump, 49);

    const bool limiter = FrameLimiter;
    view.FormKeyUp(vk::F2, false);
    EXPECT_NE(FrameLimiter.load(), limiter);
    FrameLimiter = limiter;
    view.FormKeyUp(vk::F3, false);
    view.FormKeyUp(vk::F5, false);
    view.FormKeyUp(vk::F10, false);
    EXPECT_TRUE(view.ShowPerf);
    EXPECT_FALSE(view.ScalerOn);
    EXPECT_TRUE(view.FullScreen);

    view.FormKeyUp(vk::X, false);
    EXPECT_FALSE(view.quit);
    view.FormKeyUp(vk::X, true);
    EXPECT_TRUE(view.quit);
}

TEST_F(GameWindow, MouseAndKeysThroughTheWindowWalkTurnAndTypeAsDescribed)
{
    RecordingLink link;
    Show();
    form->Link = &link;
    form->resize(640, 400);
    QWidget* box = form->PaintBox1;
    // Positions are divided into view pixels, not rounded; a right press walks from
    // the centre, a move re-checks the walk target at the position before it, and the
    // release stops.
    QTest::mouseMove(box, QPoint(3, 3));
    EXPECT_EQ(std::pair(form->MouseX, form->MouseY), std::pair(1, 1));
    QTest::mouseMove(box, QPoint(320, 200));
    QTest::mousePress(box, Qt::RightButton, Qt::NoModifier, QPoint(320, 200));
    QTest::mouseMove(box, QPoint(600, 390));
    QTest::mouseRelease(box, Qt::RightButton, Qt::NoModifier, QPoint(600, 390));
    EXPECT_EQ(link.sent, (std::vector<std::string>{"walk 160,100 to 940,1220", "stop"}));
    EXPECT_EQ(link.resent.back(), "160,100");
    EXPECT_EQ(std::pair(form->MouseX, form->MouseY), std::pair(300, 195));

    // Each arrow turns the player its own way.
    const std::pair<Qt::Key, int> facings[] = {{Qt::Key_Up, 2}, {Qt::Key_Right, 1}, {Qt::Key_Down, 8}, {Qt::Key_Left, 4}};
    for (const auto& [key, facing] : facings) {
        QTest::keyPress(form.get(), key);
        EXPECT_EQ(actors.Head()->Facing, facing) << key;
        QTest::keyRelease(form.get(), key);
    }
    // A chat line takes characters up to '}' (125), not '~'.
    QTest::keyClick(form.get(), Qt::Key_T);
    ASSERT_TRUE(form->ChatTyping);
    QTest::keyClicks(form.get(), "a}~");
    EXPECT_EQ(form->ChatText, "a}");
}

TEST_F(GameWindow, ConsoleEditLineIsDrawnThirteenRowsBelowTheNewestLogLine)
{
    RecordingLink link;
    Show();
    form->Link = &link;
    // Typed into the console through the window's keys: "AB", Enter logs it, "AB" again.
    QTest::keyClick(form.get(), Qt::Key_QuoteLeft);
    ASSERT_TRUE(form->ConsoleShown);
    QTest::keyClicks(form.get(), "AB");
    QTest::keyClick(form.get(), Qt::Key_Return);
    QTest::keyClicks(form.get(), "AB");
    for (int i = 0; i < 12; ++i)
        form->PresentFrame();
    const QImage& console = form->ConsoleBitmap;
    int inked = 0;
    for (int r = 0; r < 13; ++r)
        for (int x = 0; x < 40; ++x) {
            inked += console.pixel(x, 94 + r) != 0xFFFFFFFF;
            ASSERT_EQ(console.pixel(x, 94 + r), console.pixel(x, 107 + r)) << x << "," << r;
        }
    EXPECT_GT(inked, 0) << "the log line was drawn";
}

TEST_F(GameKeys, RightPressAtTheWindowCentreWalksToTheCentreTile)
{
    view.WalkTo(160, 100);
    EXPECT_EQ(link.sent, std::vector<std::string>{"walk 160,100 to 940,1220"});
    int x = 0, y = 0;
    view.ViewToWorld(153, 107, x, y);
    EXPECT_EQ(x, 940);
    EXPECT_EQ(y, 1220);
    view.ViewToWorld(152, 108, x, y);
    EXPECT_EQ(x, 939);
    EXPECT_EQ(y, 1221);
}

}  // namespace
