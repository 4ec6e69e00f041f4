// Playing against vxserver's game server on 127.0.0.1, all in this process: the
// client's windows walking, chatting and losing the server, with a second player (a
// headless session) watching. Nothing here starts a process, so the render thread and
// the windows can be checked with ThreadSanitizer; the programs themselves are
// started in program_test.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "frontend/chat_log.h"
#include "frontend/client_app.h"
#include "frontend/client_options.h"
#include "frontend/client_windows.h"
#include "frontend/init_window.h"
#include "window/game_window.h"
#include "frontend/login_window.h"
#include "frontend/startup.h"
#include "frontend/vxa_config.h"
#include "net/client_session.h"
#include "window/connections.h"
#include "net/game_channel.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "view/render_thread.h"
#include "platform/console.h"
#include "game_server.h"
#include "headless_player.h"
#include "support/event_wait.h"
#include "support/temp_folder.h"
#include "test_game.h"
#include "world_generator.h"

namespace {

// A key pressed or released in the game window, as the window system delivers it.
void Key(QEvent::Type type, int key, const QString& text = {})
{
    QKeyEvent event(type, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(FullScreenForm, &event);
}

bool WaitFor(const std::function<bool()>& done, int ms = 15000)
{
    return support::WaitFor(done, ms);
}

using support::Pause;

// vxserver's game server in this process, on 127.0.0.1: free ports at first, the same
// TCP port when started again. It ticks on its own timer on the real clock.
class Server {
public:
    Server(const std::string& game, const std::string& data) : game_(game), data_(data) {}

    bool Start(int tcpPort = 0)
    {
        server::TServerOptions options;
        options.GameFolder = game_;
        options.DataFolder = QString::fromStdString(data_);
        options.Bind = QHostAddress::LocalHost;
        options.TcpPort = uint16_t(tcpPort);
        options.UdpPort = 0;
        options.Npcs = 0;
        options.PasswordCost = server::CheapPasswordCost;
        game_server_ = std::make_unique<server::TGameServer>(options);
        if (!game_server_->Start())
            return false;
        port_ = game_server_->TcpPort();
        return true;
    }
    // Gone at once, as far as its clients can tell: every connection ends.
    void Stop() { game_server_.reset(); }
    int Port() const { return port_; }

private:
    std::string game_, data_;
    int port_ = 0;
    std::unique_ptr<server::TGameServer> game_server_;
};

class Play : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "play_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new TVxApplication(argc, argv);
        world = new support::TempFolder("play_world");
        worldgen::GenerateWorld(world->Path(), 1);
        otherWorld = new support::TempFolder("play_other_world");
        worldgen::GenerateWorld(otherWorld->Path(), 1, "OTHER VALE");
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
        delete otherWorld;
        otherWorld = nullptr;
    }

    void SetUp() override
    {
        // The chat logs of this test's clients, kept apart from the user's.
        oldDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataHome.Path()));
    }

    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", oldDataHome_);
        DestroyClientWindows();
        ResetStartupState();
        CommandLine = {};
        TConnections::EchoToStdout = false;
    }

    // The client's windows in this process, at the login window, filled in for `port`.
    void StartClient(int port, const char* name)
    {
        CommandLine.InstallWorld = world->Path();
        CreateClientWindows();
        Init1->Timer1Timer();
        ASSERT_EQ(TVxApplication::LastError, "");
        ASSERT_TRUE(VxLogin->isVisible());
        VxLogin->ComboBox1->setEditText(name);
        VxLogin->Edit2->setText(QString(name) + "-pw");
        VxLogin->ComboBox2->setEditText("127.0.0.1");
        VxLogin->Ports.Tcp = std::to_string(port);
        VxLogin->Ports.LocalUdp = "0";
    }

    static std::string MemoText() { return Connections->Memo1->toPlainText().toStdString(); }

    static int32_t PlayerId()
    {
        std::lock_guard<std::mutex> hold(NPCList->Lock());
        return NPCList->Head()->ID;
    }

    static int Count(const std::string& text, const std::string& part)
    {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    // Every chat log file under `folder`, read in name order.
    static QString ChatLogText(const QString& folder)
    {
        QString text;
        QDir dir(folder);
        for (const QString& name : dir.entryList({"*.txt"}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                text += QString::fromUtf8(f.readAll());
        }
        return text;
    }

    static support::TempFolder* world;
    static support::TempFolder* otherWorld;
    frontend_test::ConfigHome home;
    support::TempFolder data{"play_data"};
    support::TempFolder dataHome{"play_data_home"};
    QByteArray oldDataHome_;
};

support::TempFolder* Play::world = nullptr;
support::TempFolder* Play::otherWorld = nullptr;

TEST_F(Play, WalkingChatAndLosingTheServer)
{
    Server server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start());
    StartClient(server.Port(), "Wren");
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); })) << MemoText();
    EXPECT_TRUE(FullScreenForm->isVisible());

    HeadlessPlayer watcher("Tamsin");
    watcher.Connect(server.Port());
    ASSERT_TRUE(WaitFor([&] { return watcher.entered; }));
    // The server names the player in a message of its own, which may come after the
    // beats that let the client in: the head is 0 until then.
    ASSERT_TRUE(WaitFor([] { return PlayerId() != 0; }));
    const int32_t wren = PlayerId();
    net::TNPCRecord seen;
    ASSERT_TRUE(WaitFor([&] { return watcher.Actor(wren, seen); })) << "the watcher never saw Wren";
    const uint16_t startX = seen.X;

    // An arrow press is acknowledged and then not sent again.
    platform::ConsoleCapture console;
    net::TGameChannel& channel = Connections->Session->Channel();
    Key(QEvent::KeyPress, Qt::Key_Right);
    ASSERT_TRUE(WaitFor([&] { return channel.DownAcked(net::VK_RIGHT); }));
    const int resentBefore = console.CountStartingWith("Retransmitting down");
    ASSERT_TRUE(WaitFor([&] { return watcher.Actor(wren, seen) && (seen.Flags & net::FlagMoving); }));
    Pause(600);
    EXPECT_EQ(console.CountStartingWith("Retransmitting down"), resentBefore);

    // Its release is acknowledged and stops the player on the server, as the other player sees.
    Key(QEvent::KeyRelease, Qt::Key_Right);
    ASSERT_TRUE(WaitFor([&] { return channel.UpAcked(net::VK_RIGHT); }));
    ASSERT_TRUE(WaitFor([&] { return watcher.Actor(wren, seen) && !(seen.Flags & net::FlagMoving); }));
    const uint16_t stoppedX = seen.X;
    EXPECT_GT(stoppedX, startX);
    Pause(500);
    ASSERT_TRUE(watcher.Actor(wren, seen));
    EXPECT_EQ(seen.X, stoppedX);

    // A chat line typed in the game window arrives as Wren's speech at the other player.
    Key(QEvent::KeyPress, Qt::Key_T, "t");
    Key(QEvent::KeyRelease, Qt::Key_T, "t");
    ASSERT_TRUE(FullScreenForm->ChatTyping);
    for (const QChar c : QString("Well met, Tamsin")) {
        Key(QEvent::KeyPress, c == ' ' ? int(Qt::Key_Space) : int(Qt::Key_unknown), c);
        Key(QEvent::KeyRelease, c == ' ' ? int(Qt::Key_Space) : int(Qt::Key_unknown), c);
    }
    Key(QEvent::KeyPress, Qt::Key_Return, "\r");
    ASSERT_TRUE(WaitFor([&] { return watcher.Actor(wren, seen) && seen.Speech.View() == "Well met, Tamsin"; }));

    // The server goes away: the game window closes and the connection window offers the way back.
    server.Stop();
    ASSERT_TRUE(WaitFor([] { return Connections->BitBtn3->isVisible(); })) << MemoText();
    EXPECT_NE(MemoText().find("TCP Disconnected."), std::string::npos);
    EXPECT_FALSE(FullScreenForm->isVisible());
    EXPECT_TRUE(Connections->isVisible());

    // Once it is back, the way back and a second Connect reach the game again. The
    // server in this process loads the world's tables into the same process-wide
    // store the client draws from: it starts once the render thread is parked.
    ASSERT_TRUE(WaitFor([] { return RefreshThread->Parked(); }));
    Server again(world->Path(), data.Path());
    ASSERT_TRUE(again.Start(server.Port()));
    Connections->BitBtn3->click();
    ASSERT_TRUE(VxLogin->isVisible());
    EXPECT_FALSE(Connections->isVisible());
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); })) << MemoText();
    EXPECT_TRUE(FullScreenForm->isVisible());
}

TEST_F(Play, ARefusedConnectionEndsWithTheWayBack)
{
    // A port with nothing listening: take a free one and let it go.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    StartClient(port, "Wren");
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([] { return Connections->BitBtn3->isVisible(); })) << MemoText();
    Pause(100);
    const std::string memo = MemoText();
    EXPECT_NE(memo.find("TCP: Winsock error # 10061 while in state"), std::string::npos) << memo;
    EXPECT_EQ(memo.substr(memo.size() - std::string("Connection refused.").size()), "Connection refused.") << memo;
}

TEST_F(Play, AutoReconnectGetsThePlayerBackAndARefusalStopsIt)
{
    Server server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start());
    platform::ConsoleCapture console;
    StartClient(server.Port(), "Wren");
    EXPECT_FALSE(Connections->AutoReconnect->isChecked()) << "off by default";
    Connections->AutoReconnect->click();
    EXPECT_EQ(VxaConfig->ReadValue("AutoReconnect"), "Yes");
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); })) << MemoText();
    EXPECT_TRUE(Connections->AutoReconnect->isChecked());

    // The server goes away and stays away for a while: tries fail and wait longer.
    server.Stop();
    ASSERT_TRUE(WaitFor([] { return MemoText().find("Auto reconnect: try 2 in 2 s.") != std::string::npos; }))
        << MemoText();
    EXPECT_FALSE(FullScreenForm->isVisible());
    EXPECT_NE(MemoText().find("TCP Disconnected.\nAuto reconnect: try 1 in 1 s."), std::string::npos) << MemoText();
    EXPECT_NE(MemoText().find("Auto reconnect: try 1 failed."), std::string::npos) << MemoText();

    // Back on the same port: a try gets the player into the game again. The server in
    // this process starts once the render thread is parked (see above).
    ASSERT_TRUE(WaitFor([] { return RefreshThread->Parked(); }));
    const int entries = console.CountStartingWith("Wren enters the game");
    Server again(world->Path(), data.Path());
    ASSERT_TRUE(again.Start(server.Port()));
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); }, 40000))
        << MemoText();
    EXPECT_TRUE(FullScreenForm->isVisible());
    EXPECT_NE(MemoText().find(" succeeded."), std::string::npos) << MemoText();
    EXPECT_FALSE(Connections->ReconnectButton->isVisible());
    EXPECT_TRUE(WaitFor([&] { return console.CountStartingWith("Wren enters the game") > entries; }));

    // Now a server of another world answers on that port: the refusal stops the tries.
    const int losses = Count(MemoText(), "TCP Disconnected.");
    again.Stop();
    ASSERT_TRUE(WaitFor([&] { return Count(MemoText(), "TCP Disconnected.") > losses; })) << MemoText();
    ASSERT_TRUE(WaitFor([] { return RefreshThread->Parked(); }));
    Server other(otherWorld->Path(), data.Path());
    ASSERT_TRUE(other.Start(server.Port()));
    ASSERT_TRUE(WaitFor([] {
        return MemoText().find("Auto reconnect stopped: the server refused the login.") != std::string::npos;
    }, 40000)) << MemoText();
    const int attempts = Count(MemoText(), "Initiating TCP connection to");
    Pause(2500);
    EXPECT_EQ(Count(MemoText(), "Initiating TCP connection to"), attempts) << MemoText();
    EXPECT_NE(MemoText().find("IDENTITY does not match server:"), std::string::npos);
    EXPECT_TRUE(Connections->ReconnectButton->isVisible());
    EXPECT_TRUE(Connections->BitBtn3->isVisible());
    EXPECT_FALSE(Connections->Session->Entered());
}

TEST_F(Play, TheReconnectButtonRunsTheSameConnect)
{
    Server server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start());
    StartClient(server.Port(), "Wren");
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); })) << MemoText();
    EXPECT_FALSE(Connections->ReconnectButton->isVisible());
    server.Stop();
    ASSERT_TRUE(WaitFor([] { return Connections->ReconnectButton->isVisible(); })) << MemoText();
    Pause(1500);
    EXPECT_EQ(MemoText().find("Auto reconnect"), std::string::npos) << "no tries while the box is unticked";

    ASSERT_TRUE(WaitFor([] { return RefreshThread->Parked(); }));
    Server again(world->Path(), data.Path());
    ASSERT_TRUE(again.Start(server.Port()));
    Connections->ReconnectButton->click();
    EXPECT_FALSE(Connections->ReconnectButton->isVisible());
    EXPECT_FALSE(Connections->BitBtn3->isVisible());
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); })) << MemoText();
    EXPECT_TRUE(FullScreenForm->isVisible());
    EXPECT_EQ(Connections->Session->Login().CharacterName, "Wren");
    EXPECT_EQ(Connections->Session->Login().CharacterPassword, "Wren-pw");
    EXPECT_EQ(Count(MemoText(), "Initiating TCP connection to 127.0.0.1"), 2);
}

TEST_F(Play, TheChatLogHoldsBothSidesOfAConversationInOrder)
{
    Server server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start());
    StartClient(server.Port(), "Wren");
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([] { return Connections->Session && Connections->Session->Entered(); })) << MemoText();
    HeadlessPlayer tamsin("Tamsin");
    tamsin.Connect(server.Port());
    ASSERT_TRUE(WaitFor([&] { return tamsin.entered; }));
    net::TNPCRecord seen;
    ASSERT_TRUE(WaitFor([&] { return tamsin.Actor(PlayerId(), seen); }));
    int32_t tamsinId = 0;
    {
        std::lock_guard<std::mutex> hold(tamsin.actors.Lock());
        tamsinId = tamsin.actors.Head()->ID;
    }
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> hold(NPCList->Lock());
        return NPCList->EntryExists(tamsinId);
    })) << "Wren never saw Tamsin";

    // Wren types a line; Tamsin answers once it has reached her.
    Key(QEvent::KeyPress, Qt::Key_T, "t");
    Key(QEvent::KeyRelease, Qt::Key_T, "t");
    for (const QChar c : QString("Well met")) {
        Key(QEvent::KeyPress, c == ' ' ? int(Qt::Key_Space) : int(Qt::Key_unknown), c);
        Key(QEvent::KeyRelease, c == ' ' ? int(Qt::Key_Space) : int(Qt::Key_unknown), c);
    }
    Key(QEvent::KeyPress, Qt::Key_Return, "\r");
    ASSERT_TRUE(WaitFor([&] { return tamsin.Actor(PlayerId(), seen) && seen.Speech.View() == "Well met"; }));
    tamsin.session.SendChat("Hello, Wren\x07");
    const QString folder = ChatLogFolder() + "/EMBER VALE";
    ASSERT_TRUE(WaitFor([&] { return ChatLogText(folder).count('\n') >= 2; })) << ChatLogText(folder).toStdString();
    const QStringList lines = ChatLogText(folder).split('\n');
    ASSERT_EQ(lines.size(), 3) << ChatLogText(folder).toStdString();
    const QRegularExpression time("^\\d\\d:\\d\\d:\\d\\d ");
    EXPECT_TRUE(lines[0].contains(time)) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(" <Wren> Well met")) << lines[0].toStdString();
    // The server drops the control character before it relays the line.
    EXPECT_TRUE(lines[1].endsWith(QString(" <actor %1> Hello, Wren").arg(tamsinId))) << lines[1].toStdString();
}

TEST_F(Play, TheServerCheckShowsAnotherWorldAsIncompatibleAndLogsNoFailedLogin)
{
    // Both servers run in this process: their console lines are told apart by order.
    platform::ConsoleCapture console;
    auto logged = [&](std::string_view part) {
        int n = 0;
        for (const std::string& line : console.Lines())
            n += line.find(part) != std::string::npos;
        return n;
    };
    Server same(world->Path(), data.Path());
    ASSERT_TRUE(same.Start());
    support::TempFolder otherData("play_other_data");
    Server other(otherWorld->Path(), otherData.Path());
    ASSERT_TRUE(other.Start());
    StartClient(other.Port(), "Wren");
    // The public server's row would reach out of this machine: the tests check their own.
    delete VxLogin->ListView1->takeTopLevelItem(0);

    VxLogin->CheckButton->click();
    EXPECT_EQ(VxLogin->PageControl1->currentWidget(), VxLogin->TabSheet2);
    ASSERT_EQ(VxLogin->ListView1->topLevelItemCount(), 1);
    QTreeWidgetItem* row = VxLogin->ListView1->topLevelItem(0);
    EXPECT_EQ(row->text(4), "checking");
    ASSERT_TRUE(WaitFor([] { return VxLogin->ChecksRunning() == 0; }));
    EXPECT_EQ(row->text(0), "X");
    EXPECT_EQ(row->text(2), "OTHER VALE");
    EXPECT_EQ(row->text(3), "other world");
    EXPECT_EQ(row->text(4), "answered");
    EXPECT_TRUE(row->text(6).endsWith(" ms")) << row->text(6).toStdString();
    EXPECT_EQ(row->text(7), "127.0.0.1");
    EXPECT_TRUE(VxLogin->isVisible()) << "a check logs nobody in";
    EXPECT_FALSE(Connections->isVisible());

    ASSERT_TRUE(WaitFor([&] { return logged("Disconnected ") == 1; }));
    EXPECT_EQ(logged("checked the server without logging in"), 1);
    EXPECT_EQ(logged("has another world: EMBER VALE"), 1);
    for (const char* failed : {"password", "Refused", "Closing connection", "invalid name", "Login "})
        EXPECT_EQ(logged(failed), 0) << failed;

    // The same world's server, by a second Check; then Refresh All checks both again.
    VxLogin->Ports.Tcp = std::to_string(same.Port());
    VxLogin->CheckButton->click();
    ASSERT_TRUE(WaitFor([] { return VxLogin->ChecksRunning() == 0; }));
    ASSERT_EQ(VxLogin->ListView1->topLevelItemCount(), 2);
    QTreeWidgetItem* sameRow = nullptr;
    for (int i = 0; i < 2; ++i)
        if (VxLogin->ListView1->topLevelItem(i)->text(2) == "EMBER VALE")
            sameRow = VxLogin->ListView1->topLevelItem(i);
    ASSERT_NE(sameRow, nullptr);
    EXPECT_EQ(sameRow->text(0), "Y");
    EXPECT_EQ(sameRow->text(3), "same world");

    other.Stop();
    VxLogin->RefreshAll->click();
    EXPECT_EQ(VxLogin->ChecksRunning(), 2);
    ASSERT_TRUE(WaitFor([] { return VxLogin->ChecksRunning() == 0; }, 10000));
    EXPECT_EQ(sameRow->text(4), "answered");
    EXPECT_EQ(row->text(4), "unreachable");
    EXPECT_EQ(row->text(0), "X");
    EXPECT_EQ(row->text(6), "?");
    // The same world's server saw two checks; the other one, stopped, none more.
    ASSERT_TRUE(WaitFor([&] { return logged("checked the server without logging in") == 3; }));
    EXPECT_EQ(logged("has another world"), 1);
    EXPECT_EQ(logged("password"), 0);
}

}  // namespace
