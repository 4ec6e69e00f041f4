// Creation order of the client's windows.
#include "frontend/client_windows.h"

#include <QGuiApplication>
#include <QScreen>

#include "frontend/init_window.h"
#include "frontend/later_windows.h"
#include "frontend/login_window.h"
#include "frontend/startup.h"
#include "frontend/world_windows.h"
#include "data/world_map.h"
#include "net/connections.h"
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

void CreateClientWindows()
{
    Init1 = new TInit1;
    VxLogin = new TVxLogin;
    Form1 = new TForm1;
    ShapeInfoForm = new TShapeInfoForm;
    VxLocation = new TVxLocation;
    IregExForm = new TIregExForm;
    FullScreenForm = new TFullScreenForm;
    Connections = new TConnections;
    PickWorldForm = new TPickWorldForm;
    ConnectClientWindows();
}

namespace {

// The world the map data was last loaded for: a second login to the same world
// finds it loaded and does not replace it under a running render thread.
std::string loadedWorld;

void LoadWorldData()
{
    const std::string world = GameFolder + "\n" + WorldDataFolder;
    if (world == loadedWorld)
        return;
    loadedWorld.clear();
    LoadChunkPatterns(GameFolder + "STATIC\\VXCHUNKS");
    LoadRegionMap(GameFolder + "STATIC\\VXMAP");
    LoadFixLists(GameFolder + "STATIC\\VXIFIX");
    LoadRegLists(WorldDataFolder + "VXIREG");
    loadedWorld = world;
}

}  // namespace

void ConnectClientWindows()
{
    // Every line of the game window's console log also goes to the connection log.
    FullScreenForm->ConnectionLog = [](std::string_view line) { Connections->AppendLog(line); };
    FullScreenForm->WorldIdentity = &WorldIdentity;
    Connections->ShowLoginWindow = [] { VxLogin->show(); };
    Connections->ShowGameWindow = [] { FullScreenForm->show(); };
    Connections->CloseGameWindow = [] { FullScreenForm->hide(); };
    Connections->LoadWorld = LoadWorldData;
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
    Free(PickWorldForm);
    Free(Connections);
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
