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
#include "support/recording_link.h"
#include "support/temp_folder.h"
#include "view/scaler.h"
#include "view/render_thread.h"
#include "view/world_renderer.h"
#include "client/gump_list.h"

namespace {

// The world picture the render thread would have drawn: a pattern no overlay makes.
void FillWorldPicture()
{
    for (int y = 0; y < kViewHeight; ++y)
        for (int x = 0; x < kViewWidth; ++x)
            ColourBuffer[y][x] = uint32_t(0x00200000 | (y << 8) | x);
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

TEST_F(GameWindow, WholePixelMouseMovesAndPressesMapThroughThePlacementShown)
{
    RecordingLink link;
    Show();
    form->Link = &link;
    form->WholePixelScaling = true;
    form->resize(1000, 700);  // 3x at (20, 50), 960 x 600
    ASSERT_EQ(form->Placement().Multiple, 3);
    QWidget* box = form->PaintBox1;
    // A move takes the pixel under the mouse, a press the nearest; over the borders
    // the nearest edge pixel.
    QTest::mouseMove(box, QPoint(20 + 3 * 100 + 2, 50 + 3 * 40 + 2));
    EXPECT_EQ(std::pair(form->MouseX, form->MouseY), std::pair(100, 40));
    QTest::mousePress(box, Qt::RightButton, Qt::NoModifier, QPoint(20 + 3 * 100 + 2, 50 + 3 * 40 + 2));
    QTest::mouseRelease(box, Qt::RightButton, Qt::NoModifier, QPoint(20 + 3 * 100 + 2, 50 + 3 * 40 + 2));
    ASSERT_FALSE(link.sent.empty());
    EXPECT_EQ(link.sent.front(), "walk 101,41 to 933,1213");
    QTest::mouseMove(box, QPoint(999, 0));
    EXPECT_EQ(std::pair(form->MouseX, form->MouseY), std::pair(319, 0));
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
    EXPECT_EQ(WindowToView(form->PointerGeometry(), 10 + 150, 25 + 150, EPointerRounding::HalfEven),
              (TViewPoint{100, 100}));  // display (320, 350): view (100, 100)
    form->WholePixelScaling = false;
    form->PresentFrame();
    EXPECT_TRUE(form->PaintBox1->grab().toImage().convertToFormat(QImage::Format_RGB32) == form->Screen);
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
    EXPECT_TRUE(form->Closed);
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
void CountPicture(int, int, int, net::TNPCList*) { ++worldPictures; }
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

}  // namespace
