// The game window's model without a window, on a tiny game: each finished picture
// against the drawing functions called directly, the screen composed from it, the
// console, speech, gumps, the pointer, the click report, and the keys and mouse in
// view terms.
#include "client/game_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "client/gump_list.h"
#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "net/alloc_counter.h"
#include "net/game_timer.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "support/mini_game.h"
#include "support/recording_link.h"
#include "support/temp_folder.h"
#include "view/frame_target.h"
#include "view/scaler.h"
#include "view/world_renderer.h"

namespace {

// The world picture the render thread would have drawn: a pattern no overlay makes.
void FillWorldPicture()
{
    for (int y = 0; y < kViewHeight; ++y)
        for (int x = 0; x < kViewWidth; ++x)
            ColourBuffer[y][x] = uint32_t(0x00200000 | (y << 8) | x);
}

std::vector<uint32_t> ColourPixels()
{
    return std::vector<uint32_t>(&ColourBuffer[0][0], &ColourBuffer[0][0] + kViewWidth * kViewHeight);
}

// The scaler's 640 x 400 picture of a view picture.
std::vector<uint32_t> Scaled(const std::vector<uint32_t>& picture)
{
    std::vector<uint32_t> scaled(640 * 400, 0);
    ScaleDouble(picture.data(), kViewWidth, kViewWidth, kViewHeight, scaled.data(), 640);
    return scaled;
}

// The model of a shown window whose screen is a 640 x 400 paint box until resized.
class GameView : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static support::TempFolder game("game_view_test");
        support::WriteMiniGame(game.Path());
        LoadStaticData(game.Path());
        LoadInterfaceShapes(game.Path());
    }

    void SetUp() override
    {
        view.Link = &link;
        view.Actors = &actors;
        view.Gumps = &gumps;
        view.GumpsLock = &gumpLock;
        view.Timer = &timer;
        view.Closed = false;
        view.ScreenBuffer = [this] { return TPixels{screen.data(), width, height, width}; };
        FillWorldPicture();
    }

    void Resize(int w, int h)
    {
        width = w;
        height = h;
        screen.assign(size_t(w) * size_t(h), 0);
    }
    uint32_t ScreenPixel(int x, int y) const { return screen[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF; }

    void Tap(int key, bool alt = false)
    {
        view.FormKeyDown(key);
        view.FormKeyUp(key, alt);
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
    RecordingLink link;
    class QuittingView : public TGameView {
    public:
        bool quit = false;
        void Quit() override { quit = true; }
    } view;
    int width = 640, height = 400;
    std::vector<uint32_t> screen = std::vector<uint32_t>(640 * 400, 0);
};
using GameKeys = GameView;

TEST_F(GameView, PresentedFrameMatchesTheDrawingCallsInOrder)
{
    view.ShowHelp = true;
    view.ShowPerf = true;
    view.ChatTyping = true;
    view.ChatText = "hello there";
    view.MouseX = 250;
    view.MouseY = 30;
    OpenSpeechGump();
    for (const char* text : {"first", "second one", "third and last"})
        view.SpeechHistory.Add(text);
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

    view.PresentFrame();
    ASSERT_EQ(view.FrameCounter, 1u);
    const std::vector<uint32_t> presented = ColourPixels();

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
    std::vector<uint32_t> scaled = Scaled(presented);
    std::vector<uint32_t> shown(screen.size());
    StretchInto(TConstPixels(scaled.data(), 640, 400, 640), TPixels{shown.data(), 640, 400, 640},
                TRect{0, 0, 641, 401});
    EXPECT_TRUE(shown == screen);
}

TEST_F(GameView, FrameAllocatesNothingMinimapScrolledGumpAndConsoleIncluded)
{
    view.ShowHelp = view.ShowPerf = view.ChatTyping = true;
    view.ChatText = "a chat line being typed";
    OpenSpeechGump();
    for (int i = 0; i < 30; ++i)
        view.SpeechHistory.Add("a line of speech");
    auto r = std::make_unique<net::TNPCRecord>();
    r->ID = 3;
    r->X = 941;
    r->Y = 1221;
    r->Speech.Assign("Hail!");
    r->SpeechUntil = 100000;
    actors.InsertEntry(std::move(r));
    view.SpeechScroll = 5;
    view.MinimapShown = true;
    auto overview = std::make_shared<TWorldOverview>();
    overview->Pixels.resize(kOverviewBytes);
    view.Overview = overview;
    // The whole end of the frame: overlays, the console sliding out with a changed log
    // drawn again, and the screen composed, stretched and in whole multiples.
    view.AddLogLine("a log line");
    view.ToggleConsole();
    size_t consoleLines = 0;
    view.DrawConsoleText = [&](std::span<const TConsoleText> lines) { consoleLines = lines.size(); };
    Resize(1000, 700);
    net::testing::StartCountingAllocations();
    for (int i = 0; i < 5; ++i) {
        clock.Advance(50);
        view.WholePixelScaling = i % 2 == 1;
        view.PresentFrame();
    }
    EXPECT_EQ(net::testing::StopCountingAllocations(), 0);
    EXPECT_EQ(consoleLines, 1u);
}

TEST_F(GameView, SpeechShowsUntilItsTimeIncludingAcrossTheTickCountsWrap)
{
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
    view.PresentFrame();
    EXPECT_EQ(actors.FindEntry(1)->Speech.Length, 2);
    const std::vector<uint32_t> spoken = ColourPixels();
    FillWorldPicture();
    VxShapes->DrawPointer(0, 0, 14);
    EXPECT_NE(spoken, ColourPixels());

    FillWorldPicture();
    clock.Set(5100);  // the first frame at SpeechUntil empties it and draws nothing
    view.PresentFrame();
    EXPECT_EQ(actors.FindEntry(1)->Speech.Length, 0);
    const std::vector<uint32_t> shown = ColourPixels();
    FillWorldPicture();
    VxShapes->DrawPointer(0, 0, TGameView::PointerFrame(0, 0));
    EXPECT_EQ(shown, ColourPixels());

    // Said just before the tick count wraps, for five seconds: still shown after it.
    clock.Set(0xFFFFFF00u);
    speak(2, 0xFFFFFF00u + 5000);
    clock.Set(100);
    FillWorldPicture();
    view.PresentFrame();
    EXPECT_EQ(actors.FindEntry(2)->Speech.Length, 2);
}

TEST_F(GameView, SpeechGumpShowsTheNewestTextsUpToTwenty)
{
    OpenSpeechGump();
    auto presentAndExpect = [&](uint32_t count, int lines) {
        view.SpeechHistory = {};
        for (uint32_t i = 0; i < count; ++i)
            view.SpeechHistory.Add(std::string(1 + i % 9, char('A' + i % 26)));
        FillWorldPicture();
        view.PresentFrame();
        const std::vector<uint32_t> presented = ColourPixels();
        FillWorldPicture();
        VxShapes->DrawGump(40, 20, 54, 0);
        for (int k = 0; k < lines; ++k)
            VxShapes->DrawText(view.SpeechHistory.Texts[size_t(99 - k)].View(), 5, 84, 55 + 6 * k);
        VxShapes->DrawPointer(0, 0, 14);
        EXPECT_EQ(presented, ColourPixels()) << "count " << count;
    };
    presentAndExpect(3, 3);
    presentAndExpect(250, 20);
    presentAndExpect(0, 0);
}

TEST(GameViewConsole, SlidesOutInTwelveFramesAndBack)
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

TEST(FrameEnd, WholePixelPlacementTakesTheLargestMultipleThatFitsAndCentresIt)
{
    struct Case {
        int width, height, console;
        bool wholePixels;
        int multiple;
        TRect rect;
    };
    const Case cases[] = {
        {1000, 700, 0, false, 0, {0, 0, 1001, 701}},    // off: the described rectangle, whatever the shape
        {1000, 700, 105, false, 0, {0, 0, 1001, 596}},
        {1000, 700, 0, true, 3, {20, 50, 960, 600}},
        {1300, 850, 0, true, 4, {10, 25, 1280, 800}},
        {1000, 700, 105, true, 2, {180, 97, 640, 400}},  // the view fits in what the console leaves
        {300, 180, 0, true, 0, {0, 0, 301, 181}},        // too small for even 1x: the stretch
    };
    for (const Case& c : cases) {
        const TViewPlacement p = PlaceView(c.width, c.height, c.console, c.wholePixels);
        EXPECT_EQ(p.Multiple, c.multiple) << c.width << "x" << c.height << " console " << c.console;
        EXPECT_EQ(p.Rect, c.rect) << c.width << "x" << c.height << " console " << c.console;
    }
}

TEST(FrameEnd, WindowPositionsMapThroughTheWholePixelGeometryAt3xAnd4x)
{
    const TPointerGeometry x3{1000, 700, 1.0, PlaceView(1000, 700, 0, true)};  // 3x at (20, 50)
    const TPointerGeometry x4{1300, 850, 1.0, PlaceView(1300, 850, 0, true)};  // 4x at (10, 25)
    const TPointerGeometry stretch{1300, 850, 1.0, PlaceView(1300, 850, 0, false)};
    ASSERT_EQ(x3.Placement.Multiple, 3);
    ASSERT_EQ(x4.Placement.Multiple, 4);
    using R = EPointerRounding;
    const struct {
        const TPointerGeometry& geometry;
        int x, y;
        R rounding;
        TViewPoint view;
    } cases[] = {
        {x3, 20, 50, R::HalfEven, {0, 0}},
        {x3, 20 + 3 * 160, 50 + 3 * 100, R::HalfEven, {160, 100}},
        {x3, 20 + 3 * 100 + 1, 50 + 3 * 40 + 2, R::HalfEven, {100, 41}},  // 100.33, 40.67
        {x3, 20 + 3 * 100 + 2, 50 + 3 * 40 + 2, R::Divide, {100, 40}},    // the pixel under the mouse
        {x3, 5, 10, R::HalfEven, {0, 0}},  // on the top-left border: the corner pixel
        {x3, 999, 699, R::HalfEven, {319, 199}},
        {x4, 10 + 4 * 250 + 1, 25 + 4 * 150 + 3, R::HalfEven, {250, 151}},  // 250.25, 150.75
        {x4, 10 + 4 * 250 + 3, 25 + 4 * 150 + 3, R::Divide, {250, 150}},
        {x4, 1299, 0, R::Divide, {319, 0}},
        // Off: the described mapping over the whole paint box.
        {stretch, 650, 425, R::HalfEven, {160, 100}},
        {stretch, 3, 3, R::Divide, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowToView(c.geometry, c.x, c.y, c.rounding), c.view) << c.x << "," << c.y;
}

TEST_F(GameView, WholePixelShowsEqualBlocksWithBlackBorders)
{
    view.MouseX = 319;
    view.MouseY = 199;
    view.WholePixelScaling = true;
    Resize(1000, 700);
    // Scaler off: every view pixel a 3 x 3 block of its own colour.
    view.ScalerOn = false;
    FillWorldPicture();
    view.PresentFrame();
    const std::vector<uint32_t> picture = ColourPixels();
    int wrong = 0;
    for (int y = 0; y < 700; ++y) {
        for (int x = 0; x < 1000; ++x) {
            const uint32_t got = ScreenPixel(x, y);
            const bool inside = x >= 20 && x < 980 && y >= 50 && y < 650;
            const uint32_t want =
                inside ? picture[size_t((y - 50) / 3 * kViewWidth + (x - 20) / 3)] : 0;
            wrong += got != want;
        }
    }
    EXPECT_EQ(wrong, 0);

    // Scaler on, 4x: the scaler's 640 x 400 picture in 2 x 2 blocks.
    view.ScalerOn = true;
    Resize(1300, 850);
    FillWorldPicture();
    view.PresentFrame();
    const std::vector<uint32_t> scaled = Scaled(ColourPixels());
    const auto scaledPixel = [&](int x, int y) { return scaled[size_t(y * 640 + x)]; };
    wrong = 0;
    for (int y = 0; y < 850; ++y) {
        for (int x = 0; x < 1300; ++x) {
            const bool inside = x >= 10 && x < 1290 && y >= 25 && y < 825;
            const uint32_t want = inside ? scaledPixel((x - 10) / 2, (y - 25) / 2) : 0;
            wrong += (ScreenPixel(x, y)) != want;
        }
    }
    EXPECT_EQ(wrong, 0);

    // 3x from the scaler's picture: every view pixel's block has the same inner pattern.
    Resize(1000, 700);
    view.PresentFrame();
    wrong = 0;
    for (int vy = 0; vy < kViewHeight - 1; ++vy)
        for (int vx = 0; vx < kViewWidth - 1; ++vx)
            for (int b = 0; b < 3; ++b)
                for (int a = 0; a < 3; ++a)
                    wrong += (ScreenPixel(20 + 3 * vx + a, 50 + 3 * vy + b)) !=
                             scaledPixel(2 * vx + (a == 2), 2 * vy + (b == 2));
    EXPECT_EQ(wrong, 0);

    // 2x: the scaler's picture itself, over whatever the screen held before (here the
    // stretch of a window that had whole pixels off), its last two rows black.
    Resize(700, 450);  // 2x at (30, 25)
    view.WholePixelScaling = false;
    view.PresentFrame();
    view.WholePixelScaling = true;
    view.PresentFrame();
    wrong = 0;
    for (int y = 0; y < 450; ++y) {
        for (int x = 0; x < 700; ++x) {
            const bool inside = x >= 30 && x < 670 && y >= 25 && y < 425;
            wrong += ScreenPixel(x, y) != (inside ? scaledPixel(x - 30, y - 25) : 0);
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(GameView, SettingOffKeepsTheDescribedStretchInAnyWindowShape)
{
    view.MouseX = 319;
    view.MouseY = 199;
    Resize(1000, 700);
    ASSERT_FALSE(view.WholePixelScaling);
    for (const bool scaler : {true, false}) {
        view.ScalerOn = scaler;
        FillWorldPicture();
        view.PresentFrame();
        std::vector<uint32_t> source = ColourPixels();
        int width = kViewWidth, height = kViewHeight;
        if (scaler) {
            source = Scaled(source);
            width = 640;
            height = 400;
        }
        std::vector<uint32_t> shown(1000 * 700);
        StretchInto(TConstPixels(source.data(), width, height, width), TPixels{shown.data(), 1000, 700, 1000},
                    TRect{0, 0, 1001, 701});
        EXPECT_TRUE(shown == screen) << "scaler " << scaler;
    }
}

TEST_F(GameView, F7SwitchesWholePixelScalingAndHandsItToBeStored)
{
    std::vector<bool> stored;
    view.WholePixelScalingChanged = [&](bool on) { stored.push_back(on); };
    view.FormKeyUp(vk::F7, false);
    EXPECT_TRUE(view.WholePixelScaling);
    view.FormKeyUp(vk::F7, false);
    EXPECT_FALSE(view.WholePixelScaling);
    EXPECT_EQ(stored, (std::vector<bool>{true, false}));
}

TEST_F(GameView, PageKeysScrollTheSpeechGumpAndHoldItsLinesWhileNewOnesArrive)
{
    view.MouseX = 319;
    view.MouseY = 199;
    for (int i = 0; i < 50; ++i)
        view.SpeechHistory.Add("line " + std::to_string(i));
    view.FormKeyUp(vk::PageUp, false);  // not shown: nothing
    EXPECT_EQ(view.SpeechScroll, 0);
    view.FormKeyUp(vk::F4, false);
    view.FormKeyUp(vk::PageUp, false);
    EXPECT_EQ(view.SpeechScroll, 20);
    view.FormKeyUp(vk::PageUp, false);
    EXPECT_EQ(view.SpeechScroll, 30);  // 50 lines: at most 30 back
    view.FormKeyUp(vk::PageDown, false);
    EXPECT_EQ(view.SpeechScroll, 10);

    // Drawn: line k is history position 99 - 10 - k.
    const auto expectGump = [&](int scroll) {
        FillWorldPicture();
        view.PresentFrame();
        const std::vector<uint32_t> presented = ColourPixels();
        FillWorldPicture();
        VxShapes->DrawGump(40, 20, 54, 0);
        for (int k = 0; k < 20; ++k)
            VxShapes->DrawText(view.SpeechHistory.Texts[size_t(99 - scroll - k)].View(), 5, 84, 55 + 6 * k);
        VxShapes->DrawPointer(319, 199, TGameView::PointerFrame(319, 199));
        EXPECT_TRUE(presented == ColourPixels()) << "scroll " << scroll;
    };
    expectGump(10);
    // Two new lines: the gump stays on the same lines, now two further back.
    view.SpeechHistory.Add("newer");
    view.SpeechHistory.Add("newest");
    expectGump(12);
    EXPECT_EQ(view.SpeechScroll, 12);
    view.FormKeyUp(vk::PageDown, false);
    EXPECT_EQ(view.SpeechScroll, 0);
    expectGump(0);
    // Closed and opened again: the newest lines.
    view.FormKeyUp(vk::PageUp, false);
    view.FormKeyUp(vk::F4, false);
    view.FormKeyUp(vk::F4, false);
    EXPECT_EQ(view.SpeechScroll, 0);
}

TEST_F(GameView, MinimapDotIsAtThePlayersTile)
{
    view.MouseX = 0;
    view.MouseY = 199;
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
    view.MinimapWanted = [&] { wanted.push_back(true); };
    view.FormKeyUp(vk::F6, false);
    ASSERT_TRUE(view.MinimapShown);
    EXPECT_EQ(wanted.size(), 1u);
    view.PresentFrame();  // centred on (940, 1220) by the view state
    const auto at = [&](int x, int y) { return ColourBuffer[y][x]; };
    const int px = kMinimapLeft + 32, py = kMinimapTop + 32;
    for (int y = py - 1; y <= py + 1; ++y)
        for (int x = px - 1; x <= px + 1; ++x)
            EXPECT_EQ(at(x, y), kMinimapPlayerColour) << x << "," << y;
    EXPECT_EQ(at(px + 10, py - 5), kMinimapActorColour);
    EXPECT_EQ(at(kMinimapLeft - 1, kMinimapTop), 0u);  // the frame
    view.FormKeyUp(vk::F6, false);
    EXPECT_FALSE(view.MinimapShown);
    FillWorldPicture();
    view.PresentFrame();
    EXPECT_EQ(at(px, py), (0x00200000u | (uint32_t(py) << 8) | uint32_t(px)));
}

TEST_F(GameView, LogKeepsNineteenLinesAndFeedsTheConnectionLog)
{
    std::vector<std::string> fed;
    view.ConnectionLog = [&](std::string_view line) { fed.emplace_back(line); };
    for (int i = 1; i <= 25; ++i)
        view.AddLogLine("line " + std::to_string(i));
    EXPECT_EQ(view.ConsoleLines[0], "line 7");
    EXPECT_EQ(view.ConsoleLines[18], "line 25");
    EXPECT_EQ(view.ConsoleLines[19], "");  // the edit line is not part of the log
    EXPECT_EQ(fed.size(), 25u);
    EXPECT_EQ(fed.back(), "line 25");
}

TEST_F(GameView, FrameRatesSurviveTwoFramesInOneTick)
{
    view.ShowPerf = true;
    view.PresentFrame();  // tick 5000, counted as 5010
    clock.Set(5060);
    view.PresentFrame();
    EXPECT_DOUBLE_EQ(view.InstantRate, 20.0);
    view.PresentFrame();  // same tick
    EXPECT_DOUBLE_EQ(view.InstantRate, 20.0);
    EXPECT_TRUE(std::isfinite(view.AverageRate));
    EXPECT_DOUBLE_EQ(view.AverageRate, 2 / 0.06);
}

TEST(GameViewPointer, PointsAwayFromTheCentreInThreeBands)
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

TEST_F(GameView, ClickOnAnUnownedPixelReportsShapeZero)
{
    ClearOwners();
    view.MouseX = 168;
    view.MouseY = 91;
    platform::ConsoleCapture console;
    view.Click();
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{"Click", "-- Screen  : (168,91)", "-- World   : (941,1219)",
                                                         "-- ShapeNum: 0", "-- ChunkPos: (0,0)",
                                                         "-- Obstacle: (FALSE,FALSE)", "-- - Extent: (0,0)"}));
}

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
    // The two older worlds show the older picture.
    const std::pair<std::string, int> pictures[] = {{"AMBER THORN", 49}, {"MARROW REACH", 49}, {"ANVIL", 54}};
    for (const auto& [world, picture] : pictures) {
        view.WorldIdentity = &world;
        view.FormKeyUp(vk::F4, false);
        ASSERT_NE(gumps.Find(1), nullptr) << world;
        EXPECT_EQ(gumps.Find(1)->gump, picture) << world;
        view.FormKeyUp(vk::F4, false);
    }

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
