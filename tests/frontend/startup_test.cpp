// The start-up step through the client's windows on the offscreen platform.
#include "frontend/startup.h"
#include "platform/hive_file.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "frontend/client_app.h"
#include "frontend/client_options.h"
#include "frontend/client_windows.h"
#include "frontend/init_window.h"
#include "frontend/offline_game.h"
#include "frontend/sample_world.h"
#include "tools/map_viewer_window.h"
#include "tools/shape_info_window.h"
#include "frontend/login_window.h"
#include "frontend/world_windows.h"
#include "window/game_window.h"
#include "window/connections.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "platform/console.h"
#include "view/picture_buffers.h"
#include "view/render_thread.h"
#include "formats/flex_writer.h"
#include "support/mini_game.h"
#include "test_game.h"
#include "world_generator.h"

namespace {

// Presses a button of a modal dialog once it is up (exec has started), then
// runs `after` (what the window system does next, say).
void WhenShown(QDialog* dialog, bool accept, std::function<void()> after = {})
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (!dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        accept ? dialog->accept() : dialog->reject();
        if (after)
            after();
    });
    poll->start(0);
}

class Startup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "startup_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new TVxApplication(argc, argv);
    }

    void SetUp() override { Start(); }
    void TearDown() override
    {
        DestroyClientWindows();
        ResetStartupState();
        CommandLine = {};
    }

    // A fresh program start: the windows as the entry creates them, the start-up window shown.
    void Start()
    {
        DestroyClientWindows();
        ResetStartupState();
        TVxApplication::LastError.clear();
        CreateClientWindows();
        Init1->show();
        QCoreApplication::processEvents();
    }

    // Runs the step as its timer would, through the event loop and its error handler.
    void RunStep()
    {
        bool done = false;
        QTimer::singleShot(0, Init1, [&] {
            done = true;
            Init1->Timer1Timer();
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    }

    frontend_test::ConfigHome home;
    support::TempFolder game{"game"};
};

TEST_F(Startup, EntryCreatesNineWindowsAndOnlyTheStartUpWindowShows)
{
    const std::pair<QWidget*, const char*> windows[] = {
        {Init1, "Initializing..."},        {VxLogin, ""},          {Form1, "Tessarine Online Client"},
        {ShapeInfoForm, "ShapeInfoForm"},  {VxLocation, "Specify Tessarine Location"},
        {IregExForm, "Extracting INITGAME.DAT..."}, {FullScreenForm, "vx"}, {Connections, "Connections"},
        {PickWorldForm, "Select World"}};
    for (const auto& [window, caption] : windows) {
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->isVisible(), window == Init1) << caption;
        if (*caption) {
            EXPECT_EQ(window->windowTitle().toStdString(), caption);
        }
    }
    EXPECT_EQ(Init1->size(), QSize(404, 208));
    EXPECT_EQ(Init1->Label1->text(), "Initializing...");
    EXPECT_EQ(Init1->PBar->maximum(), 100);
}

TEST_F(Startup, ActivationArmsTheTwoSecondTimerOnlyBeforeTheFirstStep)
{
    // The window became active when shown.
    EXPECT_TRUE(Init1->Timer1->isActive());
    EXPECT_EQ(Init1->Timer1->interval(), 2000);

    frontend_test::WriteTestGame(game.Path());
    CommandLine.InstallWorld = game.Path();
    RunStep();
    EXPECT_FALSE(Init1->Timer1->isActive());
    Init1->FormActivate();
    EXPECT_FALSE(Init1->Timer1->isActive());
}

// Eats the window's activations, as when another program takes the focus at once.
class NoActivation : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::WindowActivate; }
};

TEST_F(Startup, AStartUpWindowThatIsNeverActivatedStillStarts)
{
    DestroyClientWindows();
    ResetStartupState();
    CreateClientWindows();
    NoActivation filter;
    Init1->installEventFilter(&filter);
    Init1->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Init1->Timer1->isActive());
    Init1->removeEventFilter(&filter);
}

TEST_F(Startup, FirstRunInstallsFromTheCommandLineFolderAndShowsTheLoginWindow)
{
    worldgen::GenerateWorld(game.Path(), 7, "VX-FIRST");
    CommandLine.InstallWorld = game.Path().substr(0, game.Path().size() - 1);  // as typed, without separator
    std::vector<std::pair<int, std::string>> progress;
    QObject::connect(Init1->PBar, &QProgressBar::valueChanged,
                     [&](int value) { progress.emplace_back(value, Init1->Label1->text().toStdString()); });
    platform::ConsoleCapture console;

    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");

    TVxaConfig config;
    EXPECT_EQ(config.ItemCount(kListWorlds), 1);
    EXPECT_EQ(config.ReadItem(1, kListWorlds), "1");
    for (int list : {kListWorldTypes, kListWorldDirectories, kListWorldGamedats})
        EXPECT_EQ(config.ItemCount(list), 1) << list;
    EXPECT_EQ(config.ReadItem(1, kListWorldTypes), "VX-FIRST");
    EXPECT_EQ(config.ReadItem(1, kListWorldDirectories), game.Path());
    EXPECT_EQ(config.ReadItem(1, kListWorldGamedats), game.Path() + "CLIDAT/");
    EXPECT_EQ(GameFolder, game.Path());
    EXPECT_EQ(WorldDataFolder, game.Path() + "CLIDAT/");
    EXPECT_EQ(WorldIdentity, "VX-FIRST");
    EXPECT_TRUE(std::filesystem::exists(game.Path() + "CLIDAT/IDENTITY"));

    EXPECT_EQ(progress, (std::vector<std::pair<int, std::string>>{
                            {10, "Loading Shapes"}, {70, "Loading Palettes"}, {80, "Loading TFA"}, {100, "Complete"}}));
    EXPECT_EQ(console.CountStartingWith("opened " + game.Path() + "STATIC\\SHAPES.VGA"), 1);
    EXPECT_EQ(console.CountStartingWith("opened " + game.Path() + "STATIC\\GUMPS.VGA"), 1);
    EXPECT_FALSE(IregExForm->isVisible());
    EXPECT_EQ(IregExForm->Label3->text(), "Done.");
    EXPECT_TRUE(VxLogin->isVisible());
    EXPECT_FALSE(Init1->isVisible());
    EXPECT_EQ(VxLogin->Edit1->text(), "VX-FIRST");
    EXPECT_FALSE(VxLogin->CheckBox1->isChecked());
    EXPECT_EQ(VxLogin->ComboBox2->currentText(), TVxLogin::PublicServerAddress);
    EXPECT_GT(VxShapes->PointerSlot, VxShapes->GumpBase);
    ASSERT_NE(NPCList, nullptr);
    EXPECT_EQ(NPCList->Count(), 1);
    EXPECT_NE(GameTimer, nullptr);
    ASSERT_NE(GumpList, nullptr);
    EXPECT_EQ(GumpList->Head(), nullptr);
    EXPECT_NE(GumpLock, nullptr);
    ASSERT_NE(RefreshThread, nullptr);
    EXPECT_TRUE(RefreshThread->Parked());  // suspended until the game window resumes it
}

TEST(StrToInt, TakesOnlyAWholeDecimalInteger)
{
    EXPECT_EQ(StrToInt("12"), 12);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("-3"), -3);
    for (const char* text : {"", "x1", "1x", " 1", "1 ", "0x10", "99999999999", "+", "+-1"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

TEST_F(Startup, ADamagedSelectedWorldNumberStopsTheStepWithItsText)
{
    frontend_test::WriteTestGame(game.Path(), "VX-ONE");
    CommandLine.InstallWorld = game.Path();
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");
    TVxaConfig().WriteItem(1, kListWorlds, "one");

    Start();
    RunStep();
    EXPECT_NE(TVxApplication::LastError.find("'one' is not a valid integer value"), std::string::npos)
        << TVxApplication::LastError;
    EXPECT_EQ(GameFolder, "**");
    EXPECT_FALSE(VxLogin->isVisible());
}

TEST_F(Startup, LaterStartReadsTheSelectedWorldAndLastChoices)
{
    frontend_test::WriteTestGame(game.Path(), "VX-ONE");
    CommandLine.InstallWorld = game.Path();
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");

    // A second world, selected; its folder is the same copy under another identity.
    TVxaConfig config;
    config.AddItem("VX-TWO", kListWorldTypes);
    config.AddItem(game.Path(), kListWorldDirectories);
    config.AddItem(game.Path() + "OTHER/", kListWorldGamedats);
    config.WriteItem(1, kListWorlds, "2");
    config.WriteValue("FullScreen", "yes");
    config.WriteValue("LastIP", "192.0.2.7");

    for (const char* fullScreen : {"yes", "Yes"}) {
        config.WriteValue("FullScreen", fullScreen);
        Start();
        CommandLine.InstallWorld = "/nonexistent";  // only used when no world is installed
        EXPECT_TRUE(Init1->Timer1->isActive());
        platform::ConsoleCapture console;
        RunStep();
        ASSERT_EQ(TVxApplication::LastError, "");
        ASSERT_FALSE(console.Lines().empty());
        EXPECT_EQ(console.Lines().front(), "2");
        EXPECT_EQ(GameFolder, game.Path());
        EXPECT_EQ(WorldIdentity, "VX-TWO");
        EXPECT_EQ(WorldDataFolder, game.Path() + "OTHER/");
        EXPECT_EQ(VxLogin->CheckBox1->isChecked(), std::string(fullScreen) == "Yes") << fullScreen;
        EXPECT_EQ(VxLogin->ComboBox2->currentText(), "192.0.2.7");
        EXPECT_TRUE(VxLogin->isVisible());
        EXPECT_FALSE(VxLocation->isVisible());
    }
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 2);
    EXPECT_EQ(config.ItemCount(kListWorlds), 1);

    // Login choices given on the command line win over the remembered ones.
    Start();
    CommandLine.Server = "127.0.0.1";
    CommandLine.Name = "Wren";
    CommandLine.Password = "hearth";
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");
    EXPECT_EQ(VxLogin->ComboBox2->currentText(), "127.0.0.1");
    EXPECT_EQ(VxLogin->ComboBox1->currentText(), "Wren");
    EXPECT_EQ(VxLogin->Edit2->text(), "hearth");
    CommandLine = {};
}

TEST_F(Startup, MapViewerOpensWithTheWorldsFolderFromTheCommandLineOrTheLoginWindow)
{
    frontend_test::WriteTestGame(game.Path(), "VX-ONE");
    CommandLine.InstallWorld = game.Path();
    CommandLine.MapViewer = true;
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");
    EXPECT_TRUE(VxLogin->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->Edit1->text().toStdString(), game.Path());
    EXPECT_EQ(Form1->ShapeInfoForm, ShapeInfoForm);

    // Without the option it stays hidden until Ctrl+Shift+M in the login window.
    Start();
    CommandLine.MapViewer = false;
    RunStep();
    EXPECT_FALSE(Form1->isVisible());
    auto* shortcut = VxLogin->findChild<QShortcut*>();
    ASSERT_NE(shortcut, nullptr);
    EXPECT_EQ(shortcut->key(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    emit shortcut->activated();
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->Edit1->text().toStdString(), game.Path());
}

TEST_F(Startup, WholePixelScalingIsAConfigurationValueOfItsOwn)
{
    frontend_test::WriteTestGame(game.Path(), "VX-ONE");
    CommandLine.InstallWorld = game.Path();
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");
    EXPECT_FALSE(StoredWholePixelScaling());  // absent: off
    FullScreenForm->FormKeyUp(vk::F7, false);
    EXPECT_NE(home.Text().find("\"WholePixelScaling\"=\"Yes\""), std::string::npos) << home.Text();
    // A later start reads it back; the other values are untouched.
    Start();
    RunStep();
    EXPECT_TRUE(StoredWholePixelScaling());
    FullScreenForm->WholePixelScaling = true;  // as showing the game window sets it
    FullScreenForm->FormKeyUp(vk::F7, false);
    EXPECT_NE(home.Text().find("\"WholePixelScaling\"=\"No\""), std::string::npos);
    EXPECT_FALSE(StoredWholePixelScaling());
}

TEST_F(Startup, TheOfflineGameTakesKeysWithoutAServer)
{
    worldgen::GenerateWorld(game.Path(), 7, "VX-OFFLINE");
    CommandLine.InstallWorld = game.Path();
    CommandLine.OfflineGame = true;
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");
    ASSERT_TRUE(FullScreenForm->isVisible());
    // T starts a chat line when it comes up, as in a game with a server.
    FullScreenForm->FormKeyDown(vk::T);
    FullScreenForm->FormKeyUp(vk::T, false);
    EXPECT_TRUE(FullScreenForm->ChatTyping);
    FullScreenForm->FormKeyDown(vk::Escape);
    EXPECT_FALSE(FullScreenForm->ChatTyping);
    // A walking key turns the player while it is held.
    FullScreenForm->FormKeyDown(vk::Up);
    EXPECT_TRUE(FullScreenForm->Link->IsKeyDown(vk::Up));
    FullScreenForm->FormKeyUp(vk::Up, false);
    EXPECT_FALSE(FullScreenForm->Link->IsKeyDown(vk::Up));
}

TEST_F(Startup, AGameEnteredWhileAMapIsMadeWaitsAndStartsWhenTheMapEndsOrTheWindowIsActivated)
{
    worldgen::GenerateWorld(game.Path(), 7, "VX-WAITING");
    CommandLine.InstallWorld = game.Path();
    const auto running = [] {
        QElapsedTimer clock;
        clock.start();
        while (RefreshThread->Parked() && clock.elapsed() < 5000)
            QCoreApplication::processEvents();
        return !RefreshThread->Parked();
    };
    for (const bool mapEnds : {true, false}) {
        SCOPED_TRACE(mapEnds ? "the map ends" : "the window is activated");
        Start();
        RunStep();
        ASSERT_EQ(TVxApplication::LastError, "");
        support::TempFolder out("startup_map");
        if (mapEnds) {
            // The game is entered as the first band is written; loading its world stops the map.
            Form1->Edit2->setText(QString::fromStdString(out.Path() + "map.raw"));
            QObject::connect(Form1->ProgressBar1, &QProgressBar::valueChanged, Form1, [](int band) {
                if (band == 1)
                    EnterOfflineGame();
            });
            Form1->Button4->click();
            EXPECT_EQ(Form1->ProgressBar1->format(), "Cancelled");
            EXPECT_FALSE(std::filesystem::exists(out.Path() + "map.raw"));
        } else {
            ASSERT_TRUE(ClaimPictureBuffers(BufferUser::MapMaker));  // a map being made
            EnterOfflineGame();
            ReleasePictureBuffers(BufferUser::MapMaker);
            EXPECT_TRUE(RefreshThread->Parked());
            FullScreenForm->activateWindow();
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(TVxApplication::LastError, kGameRefusal) << "said once, when the window showed";
        EXPECT_TRUE(FullScreenForm->isVisible());
        EXPECT_TRUE(running()) << "the game started by itself";
        EXPECT_EQ(PictureBuffersHolder(), BufferUser::Game);
    }
}

TEST_F(Startup, MinimapReadsOrMakesTheOverviewInTheCacheFolderAndANewWorldDropsIt)
{
    support::TempFolder cache("cache_home");
    const char* old = std::getenv("XDG_CACHE_HOME");
    const std::string restore = old ? old : "";
    setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
    frontend_test::WriteTestGame(game.Path(), "VX-ONE");
    CommandLine.InstallWorld = game.Path();
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");

    FullScreenForm->FormKeyUp(vk::F6, false);
    ASSERT_TRUE(FullScreenForm->MinimapShown);
    QElapsedTimer waited;
    waited.start();
    while (!FullScreenForm->Overview && waited.elapsed() < 240000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    ASSERT_NE(FullScreenForm->Overview, nullptr);
    EXPECT_TRUE(FullScreenForm->Overview->Complete());
    // Whole in the connection log (the console breaks lines wider than its panel).
    std::vector<std::string> lines;
    for (const QString& line : Connections->Memo1->toPlainText().split('\n'))
        lines.push_back(line.toLatin1().toStdString());
    const std::string made = "Minimap: world overview made and kept in " + cache.Path();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Minimap: making the world overview, once for this world..."),
              lines.end());
    const auto kept = std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return l.rfind(made, 0) == 0; });
    ASSERT_NE(kept, lines.end());
    EXPECT_TRUE(std::filesystem::exists(kept->substr(std::string("Minimap: world overview made and kept in ").size())));

    // Before another world's tables are loaded, the overview goes.
    StopWorldOverview();
    EXPECT_EQ(FullScreenForm->Overview, nullptr);
    if (old)
        setenv("XDG_CACHE_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
}

TEST_F(Startup, ShortTileFlagFileStopsTheStepWithItsName)
{
    frontend_test::WriteTestGame(game.Path());
    support::MiniGame shortTfa;
    shortTfa.tfaBytes = 3071;
    support::WriteMiniGame(game.Path(), shortTfa);
    CommandLine.InstallWorld = game.Path();

    RunStep();
    EXPECT_NE(TVxApplication::LastError.find("STATIC/TFA.DAT"), std::string::npos) << TVxApplication::LastError;
    EXPECT_NE(TVxApplication::LastError.find("3072"), std::string::npos) << TVxApplication::LastError;
    EXPECT_TRUE(Init1->isVisible());
    EXPECT_FALSE(VxLogin->isVisible());
    EXPECT_FALSE(Init1->Timer1->isActive());
    EXPECT_EQ(Init1->PBar->value(), 80);
}

TEST_F(Startup, InstallFolderWithoutGameFilesStopsBeforeRecordingAWorld)
{
    support::WriteMiniGame(game.Path());  // no INITGAME.DAT
    CommandLine.InstallWorld = game.Path();
    RunStep();
    EXPECT_NE(TVxApplication::LastError.find("STATIC\\INITGAME.DAT is missing in " + game.Path()), std::string::npos)
        << TVxApplication::LastError;
    EXPECT_EQ(TVxaConfig().ItemCount(kListWorldTypes), 0);
    EXPECT_EQ(TVxaConfig().ItemCount(kListWorlds), 0);
    EXPECT_FALSE(std::filesystem::exists(game.Path() + "CLIDAT"));
    EXPECT_TRUE(Init1->isVisible());
    // Closing the error box activates the start-up window again: the failed step is not retried.
    Init1->FormActivate();
    EXPECT_FALSE(Init1->Timer1->isActive());
}

TEST_F(Startup, ClosingTheStartUpWindowEndsTheClientWhileTheExtractionWindowShows)
{
    // An archive whose second entry has a name that is refused: the extraction
    // stops with an error and its window stays up to show how far it came.
    support::WriteMiniGame(game.Path());
    formats::WriteFile(game.Path() + "STATIC/INITGAME.DAT",
                       formats::MakeFlex({frontend_test::InitGameEntry("IDENTITY", "VX-BAD\r\n"),
                                          frontend_test::InitGameEntry("..", "escape")}));
    CommandLine.InstallWorld = game.Path();
    RunStep();
    ASSERT_NE(TVxApplication::LastError.find("refused file name"), std::string::npos) << TVxApplication::LastError;
    ASSERT_TRUE(IregExForm->isVisible());
    ASSERT_TRUE(Init1->isVisible());

    // The client's event loop ends when the start-up window is closed; the second
    // timer only keeps a client that does not end from hanging the test.
    bool stillRunning = false;
    QTimer::singleShot(0, Init1, [] { Init1->close(); });
    QTimer closeFailed;
    closeFailed.setSingleShot(true);
    QObject::connect(&closeFailed, &QTimer::timeout, [&] {
        stillRunning = true;
        QCoreApplication::exit(1);
    });
    closeFailed.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(stillRunning) << "the client went on with the extraction window showing";
}

TEST_F(Startup, PickedFolderWithoutGameFilesIsAskedForAgain)
{
    support::WriteMiniGame(game.Path());  // no INITGAME.DAT
    VxLocation->SetCurrentFolder(QString::fromStdString(game.Path()));
    int shown = 0;
    WhenShown(VxLocation, true, [&] {
        ++shown;
        WhenShown(VxLocation, false, [&] { ++shown; });
    });
    RunStep();
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(Init1->TerminateRequested);
    EXPECT_EQ(TVxApplication::LastError, "");
    EXPECT_EQ(TVxaConfig().ItemCount(kListWorldTypes), 0);
    EXPECT_FALSE(std::filesystem::exists(game.Path() + "CLIDAT"));
}

TEST_F(Startup, FirstWorldIsRecordedOnlyTogetherWithItsSelection)
{
    frontend_test::WriteTestGame(game.Path());
    CommandLine.InstallWorld = game.Path();
    TVxaConfig config;
    platform::FileConfigHive hive(home.HiveFile());
    hive.OpenKey("\\Software\\VxaClient\\Worlds", false);
    hive.WriteString("Count", "0");  // the selection cannot be appended
    hive.CloseKey();

    RunStep();
    EXPECT_NE(TVxApplication::LastError.find("Invalid data type for 'Count'"), std::string::npos)
        << TVxApplication::LastError;
    // No world without a selection, which would stop every later start.
    EXPECT_EQ(config.ItemCount(kListWorldTypes), 0);
    EXPECT_EQ(config.ItemCount(kListWorldGamedats), 0);
}

TEST_F(Startup, LeavingTheFolderPickerEndsTheClient)
{
    WhenShown(VxLocation, false);
    RunStep();
    EXPECT_TRUE(Init1->TerminateRequested);
    EXPECT_EQ(TVxApplication::LastError, "");
    EXPECT_EQ(TVxaConfig().ItemCount(kListWorlds), 0);
    EXPECT_FALSE(VxLogin->isVisible());
}

// Runs `action` once `condition` holds, checked at every turn of the event loop;
// the watch ends with the action or when the returned timer is deleted.
QPointer<QTimer> When(std::function<bool()> condition, std::function<void()> action)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (!condition())
            return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start(0);
    return poll;
}

TEST_F(Startup, MakeASampleWorldWritesItIntoTheDataFolderAndInstallsItAsIfPicked)
{
    enum class Before { Nothing, OldWorldAndAFileOfTheUser, DataFolderIsAFile };
    const struct {
        const char* name;
        Before before;
        bool installed;
    } rows[] = {
        {"a fresh data folder", Before::Nothing, true},
        {"a world made before, beside a file of the player's", Before::OldWorldAndAFileOfTheUser, true},
        {"a data folder that cannot be made", Before::DataFolderIsAFile, false},
    };
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string restore = old ? old : "";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        frontend_test::ConfigHome rowHome;  // no world installed yet
        support::TempFolder data("sample_data");
        std::string dataHome = data.Path() + "share";
        if (row.before == Before::DataFolderIsAFile)
            std::ofstream(dataHome) << "not a folder";
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        const std::string world = dataHome + "/veltharn/embervale/";
        ASSERT_EQ(SampleWorldFolder() + "/", world);
        if (row.before == Before::OldWorldAndAFileOfTheUser) {
            std::filesystem::create_directories(world + "STATIC");
            std::ofstream(world + "STATIC/SHAPES.VGA") << "an older, broken shape file";
            std::ofstream(world + "notes.txt") << "mine";
        }
        Start();

        // The player presses the button in the picker the first start shows.
        std::vector<int> steps;
        bool leavableWhileWriting = false;
        QObject::connect(VxLocation->SampleProgress, &QProgressBar::valueChanged, [&](int step) {
            steps.push_back(step);
            leavableWhileWriting |= VxLocation->BitBtn1->isEnabled() || VxLocation->BitBtn2->isEnabled();
        });
        When([] { return VxLocation->isVisible(); }, [] {
            ASSERT_EQ(VxLocation->SampleButton->text(), "Make a sample world...");
            QTest::mouseClick(VxLocation->SampleButton, Qt::LeftButton);
        });
        // A failure leaves the picker up, saying why; the player then leaves with Abort.
        std::string failure;
        const QPointer<QTimer> failureWatch = When([] { return VxLocation->isVisible() && VxLocation->SampleButton->isEnabled() &&
                         !VxLocation->SampleStatus->text().isEmpty() && VxLocation->SampleProgress->isHidden(); },
             [&] {
                 failure = VxLocation->SampleStatus->text().toStdString() + " " +
                           VxLocation->SampleStatus->toolTip().toStdString();
                 QTest::mouseClick(VxLocation->BitBtn1, Qt::LeftButton);
             });
        RunStep();
        delete failureWatch.data();
        EXPECT_EQ(TVxApplication::LastError, "");
        EXPECT_FALSE(leavableWhileWriting);

        TVxaConfig config;
        if (row.installed) {
            EXPECT_EQ(failure, "");
            ASSERT_FALSE(steps.empty());
            EXPECT_EQ(steps.back(), worldgen::kGenerateSteps);
            ASSERT_EQ(config.ItemCount(kListWorldTypes), 1);
            EXPECT_EQ(config.ReadItem(1, kListWorldTypes), worldgen::kDefaultIdentity);
            EXPECT_EQ(config.ReadItem(1, kListWorldDirectories), world);
            EXPECT_EQ(GameFolder, world);
            EXPECT_TRUE(VxLogin->isVisible());
            EXPECT_FALSE(VxLocation->isVisible());
            if (row.before == Before::OldWorldAndAFileOfTheUser) {
                std::ifstream notes(world + "notes.txt");
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "mine");
            }
        } else {
            EXPECT_EQ(failure.rfind("No sample world made. The sample world could not be written to " + dataHome +
                                        "/veltharn/embervale: ", 0), 0u) << failure;
            EXPECT_TRUE(Init1->TerminateRequested);
            EXPECT_EQ(config.ItemCount(kListWorldTypes), 0);
            EXPECT_FALSE(VxLogin->isVisible());
        }
    }
    if (old)
        setenv("XDG_DATA_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

TEST_F(Startup, PickerPathAndWorldPickerInstallTheChosenFolder)
{
    frontend_test::WriteTestGame(game.Path(), "VX-PICKED");
    VxLocation->SetCurrentFolder(QString::fromStdString(game.Path()));
    EXPECT_EQ(VxLocation->CurrentFolder().toStdString() + "/", game.Path());
    // The start-up window becomes active again as the picker closes, while the
    // step is still installing: that must not run the step a second time.
    WhenShown(VxLocation, true, [] { Init1->FormActivate(); });
    RunStep();
    ASSERT_EQ(TVxApplication::LastError, "");
    EXPECT_EQ(GameFolder, game.Path());
    EXPECT_FALSE(Init1->Timer1->isActive());

    // "Install..." in the world picker adds a line; cancelling it changes nothing.
    PickWorldForm->FillWorldList();
    ASSERT_EQ(PickWorldForm->ListBox1->count(), 1);
    WhenShown(VxLocation, true);
    PickWorldForm->BitBtn2Click();
    ASSERT_EQ(PickWorldForm->ListBox1->count(), 2);
    EXPECT_EQ(PickWorldForm->ListBox1->item(1)->text(), "VX-PICKED");
    WhenShown(VxLocation, false);
    PickWorldForm->BitBtn2Click();
    EXPECT_EQ(PickWorldForm->ListBox1->count(), 2);
    EXPECT_EQ(TVxaConfig().ReadItem(1, kListWorlds), "1");
    EXPECT_EQ(TVxaConfig().ItemCount(kListWorldGamedats), 2);
}

}  // namespace
