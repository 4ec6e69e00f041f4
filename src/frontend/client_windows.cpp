// Creation order of the client's windows.
#include "frontend/client_windows.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <memory>
#include <QStandardPaths>
#include <QTimer>

#include "frontend/chat_log.h"
#include "frontend/init_window.h"
#include "frontend/login_window.h"
#include "frontend/process_objects.h"
#include "frontend/startup.h"
#include "frontend/vxa_config.h"
#include "frontend/world_windows.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "window/connections.h"
#include "tools/map_viewer.h"
#include "tools/map_viewer_window.h"
#include "tools/shape_info_window.h"
#include "view/render_locks.h"
#include "tools/world_overview.h"
#include "window/game_window.h"

TInit1* Init1 = nullptr;
TVxLogin* VxLogin = nullptr;
TForm1* Form1 = nullptr;
TShapeInfoForm* ShapeInfoForm = nullptr;
TVxLocation* VxLocation = nullptr;
TIregExForm* IregExForm = nullptr;
TFullScreenForm* FullScreenForm = nullptr;
TConnections* Connections = nullptr;
TPickWorldForm* PickWorldForm = nullptr;

namespace {

// The chat log of this run's windows, in the user's data folder as it is when they
// are created.
std::unique_ptr<TChatLog> chatLog;

}  // namespace

void CreateClientWindows()
{
    Init1 = new TInit1;
    VxLogin = new TVxLogin;
    Form1 = new TForm1;
    ShapeInfoForm = new TShapeInfoForm;
    Form1->ShapeInfoForm = ShapeInfoForm;
    // The developer's way into the map viewer: Ctrl+Shift+M in the login window.
    auto* openViewer = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), VxLogin);
    QObject::connect(openViewer, &QShortcut::activated, [] { Form1->OpenWith(GameFolder); });
    VxLocation = new TVxLocation;
    IregExForm = new TIregExForm;
    FullScreenForm = new TFullScreenForm;
    Connections = new TConnections;
    PickWorldForm = new TPickWorldForm;
    chatLog = std::make_unique<TChatLog>(ChatLogFolder());
    ConnectClientWindows();
}

namespace {

// The world the map data was last loaded for, and the table loads counted then: a
// second login to the same world finds it loaded and does not replace it under a
// running render thread, unless the map viewer's Begin has loaded other tables since.
std::string loadedWorld;
uint32_t loadsAfterLoading = 0;

}  // namespace

void LoadWorldMap()
{
    const std::string world = GameFolder + "\n" + WorldDataFolder;
    if (world == loadedWorld && WorldTableLoads() == loadsAfterLoading)
        return;
    // A map being made reads these tables on a second thread: it stops first, and
    // ends as "Cancelled" once this event is over.
    tools::StopMakeMap();
    // The minimap's overview is drawn from the tables about to be replaced.
    StopWorldOverview();
    loadedWorld.clear();
    // Another world's map replaces the one a render thread may still be drawing: its
    // step, even when paused, finishes under the render lock.
    std::unique_lock<std::mutex> hold;
    if (RenderLock)
        hold = std::unique_lock<std::mutex>(*RenderLock);
    LoadChunkPatterns(GameFolder + "STATIC\\VXCHUNKS");
    LoadRegionMap(GameFolder + "STATIC\\VXMAP");
    LoadFixLists(GameFolder + "STATIC\\VXIFIX");
    LoadRegLists(WorldDataFolder + "VXIREG");
    loadedWorld = world;
    loadsAfterLoading = WorldTableLoads();
}

namespace {

// The game window's input, sent through the session of the current connection;
// without one, keys act locally only.
class SessionInputLink : public TGameInputLink {
public:
    bool IsKeyDown(uint8_t key) override { return Session() && Session()->Channel().IsKeyDown(key); }
    void KeyPressed(uint8_t key) override
    {
        if (Session())
            Session()->KeyPressed(key);
    }
    void KeyReleased(uint8_t key) override
    {
        if (Session())
            Session()->KeyReleased(key);
    }
    void SendChat(std::string_view text) override
    {
        if (Session())
            Session()->SendChat(text);
    }
    void SendWalkTo(int viewX, int viewY, int tileX, int tileY) override
    {
        if (Session())
            Session()->SendWalkTo(viewX, viewY, tileX, tileY);
    }
    void ResendWalkTarget(int mouseX, int mouseY, int tileX, int tileY) override
    {
        if (Session())
            Session()->ResendWalkTarget(mouseX, mouseY, tileX, tileY);
    }
    void SendWalkStop() override
    {
        if (Session())
            Session()->SendWalkStop();
    }

private:
    static net::TClientSession* Session() { return Connections ? Connections->Session.get() : nullptr; }
};

SessionInputLink sessionLink;

// Brings the world overview's news to the game window while it is read or made.
QTimer* overviewPoll = nullptr;

void PollWorldOverview()
{
    if (!WorldOverviewMaker) {
        overviewPoll->stop();
        return;
    }
    std::vector<std::string> lines;
    std::shared_ptr<const TWorldOverview> ready;
    WorldOverviewMaker->Poll(lines, ready);
    for (const std::string& line : lines)
        FullScreenForm->AddOwnLogLine(line);
    if (ready)
        FullScreenForm->Overview = std::move(ready);
    if (!WorldOverviewMaker->Busy())
        overviewPoll->stop();
}

// The minimap was switched on: read or make the current world's overview, kept in
// the user's cache folder.
void WantWorldOverview()
{
    if (!WorldOverviewMaker || !VxShapes || FullScreenForm->Overview)
        return;
    QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        cache = QDir::temp().filePath("vxclient-cache");
    WorldOverviewMaker->Start(tools::OverviewCacheFile(QDir::toNativeSeparators(cache).toStdString(), GameFolder,
                                                       WorldDataFolder, WorldIdentity),
                              tools::WorldSourceStamp(GameFolder, WorldDataFolder));
    overviewPoll->start();
}

}  // namespace

void StopWorldOverview()
{
    if (WorldOverviewMaker)
        WorldOverviewMaker->Stop();
    if (FullScreenForm)
        FullScreenForm->Overview.reset();
}

void ConnectClientWindows()
{
    // Every line of the game window's console log also goes to the connection log.
    FullScreenForm->ConnectionLog = [](std::string_view line) { Connections->AppendLog(line); };
    FullScreenForm->WorldIdentity = &WorldIdentity;
    FullScreenForm->Link = &sessionLink;
    Connections->Speech = &FullScreenForm->SpeechHistory;
    Connections->GameLog = [](std::string_view line) { FullScreenForm->AddLogLine(line); };
    Connections->GameOwnLog = [](std::string_view line) { FullScreenForm->AddOwnLogLine(line); };
    Connections->ShowLoginWindow = [] { VxLogin->show(); };
    Connections->ShowGameWindow = OpenGameWindow;
    Connections->CloseGameWindow = [] {
        if (FullScreenForm->isVisible())
            FullScreenForm->close();
    };
    Connections->LoadWorld = LoadWorldMap;
    // A game that could not start while the map viewer made a map starts when it ends.
    QObject::connect(Form1, &TForm1::MapMakingEnded, FullScreenForm, &TFullScreenForm::PictureBuffersFreed);
    // The walking target is refreshed first in every retransmission tick.
    Connections->BeforeRetransmit = [] { FullScreenForm->ResendWalkTarget(); };
    VxLogin->SetFullScreen = [](bool on) { FullScreenForm->SetFullScreen(on); };
    // Connect's steps: a new session (not entered) whose ping and offset the game
    // window's status lines show, the stored reconnect setting and the window; then,
    // the port boxes being good, its endpoints.
    VxLogin->ShowConnect = [](const TConnectSteps& steps) {
        Connections->NewSession(*NPCList, *GameTimer, steps.Login);
        FullScreenForm->Channel = &Connections->Session->Channel();
        Connections->AutoReconnect->setChecked(VxaConfig->ReadValue("AutoReconnect") == "Yes");
        Connections->ShowConnect(steps);
    };
    VxLogin->StartConnect = [](const TConnectSteps& steps) { Connections->StartConnect(steps); };
    VxLogin->OwnLogLine = [](std::string_view line) { Connections->AddOwnLogLine(line); };
    // Reconnect runs the same Connect: the login window's boxes still hold the name,
    // password and server of the last one.
    Connections->Reconnect = [] { VxLogin->BitBtn2Click(); };
    Connections->AutoReconnectChosen = [](bool on) {
        if (VxaConfig)
            VxaConfig->WriteValue("AutoReconnect", on ? "Yes" : "No");
    };
    Connections->ChatLogLine = [](std::string_view speaker, std::string_view text) {
        if (chatLog)
            chatLog->Append(WorldIdentity, speaker, text);
    };
    overviewPoll = new QTimer(FullScreenForm);
    overviewPoll->setInterval(200);
    QObject::connect(overviewPoll, &QTimer::timeout, PollWorldOverview);
    FullScreenForm->MinimapWanted = WantWorldOverview;
    // F7's setting is a configuration value of its own.
    FullScreenForm->WholePixelScalingChanged = [](bool on) {
        if (VxaConfig)
            VxaConfig->WriteValue(kWholePixelScalingValue, on ? "Yes" : "No");
    };
}

bool StoredWholePixelScaling()
{
    return VxaConfig && VxaConfig->ReadValue(kWholePixelScalingValue) == "Yes";
}

void OpenGameWindow()
{
    FullScreenForm->WholePixelScaling = StoredWholePixelScaling();
    if (FullScreenForm->MinimapShown)
        WantWorldOverview();
    FullScreenForm->show();
    FullScreenForm->activateWindow();
}

namespace {

template <typename T>
void Free(T*& window)
{
    delete window;
    window = nullptr;
}

}  // namespace

void DestroyClientWindows()
{
    // A worker still drawing the overview stops before anything it reads can go,
    // the process's own objects included at its end.
    StopWorldOverview();
    chatLog.reset();
    Free(PickWorldForm);
    Free(Connections);
    overviewPoll = nullptr;  // went with the game window
    Free(FullScreenForm);
    Free(IregExForm);
    Free(VxLocation);
    Free(ShapeInfoForm);
    Free(Form1);
    Free(VxLogin);
    Free(Init1);
}

void CentreOnDesktop(QWidget* window)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        window->move(desk.center() - QPoint(window->width() / 2, window->height() / 2));
    }
}

void MakeFixedDialog(QWidget* window, int clientWidth, int clientHeight)
{
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setFixedSize(clientWidth, clientHeight);
    CentreOnDesktop(window);
}
