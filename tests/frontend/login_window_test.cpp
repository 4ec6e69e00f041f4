// The login window on the offscreen platform, after a real start-up step.
#include "frontend/login_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "frontend/client_app.h"
#include "frontend/client_options.h"
#include "frontend/client_windows.h"
#include "frontend/init_window.h"
#include "frontend/startup.h"
#include "frontend/world_windows.h"
#include "frontend/vxa_config.h"
#include "window/connections.h"
#include "net/message_types.h"
#include "net/protocol.h"
#include "net/socket_adapter.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "support/event_wait.h"
#include "test_game.h"
#include "window/game_window.h"

namespace {

// Presses OK or Cancel of a modal dialog once it is up, after `before` ran.
void WhenShown(QDialog* dialog, bool accept, std::function<void()> before = {})
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (!dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        if (before)
            before();
        accept ? dialog->accept() : dialog->reject();
    });
    poll->start(0);
}

bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    return support::WaitFor(done, ms);
}

// Types into a box the way a keyboard does: one key press carrying each character.
void Type(QWidget* box, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box, &press);
    }
}

// The connection a test server accepts next, through the socket adapter: what comes
// in is kept, and `OnRead` may answer it.
struct AcceptedPeer : net::TSocketEvents {
    AcceptedPeer(QTcpServer& server, std::string& sink) : received(sink)
    {
        sockets.Adopt(server.nextPendingConnection());
    }
    void TcpRead(std::string_view bytes) override
    {
        received.append(bytes);
        if (OnRead)
            OnRead();
    }
    void TcpClosed() override { closed = true; }
    std::string& received;
    bool closed = false;
    std::function<void()> OnRead;
    net::TSocketAdapter sockets{*this};
};

// A server on 127.0.0.1, named in the login and connection windows, that sends
// `script` to whoever connects and keeps every byte that comes back.
struct ScriptedServer {
    explicit ScriptedServer(std::string script)
    {
        listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&listener, &QTcpServer::newConnection, [this, script] {
            peers.push_back(std::make_unique<AcceptedPeer>(listener, received));
            peers.back()->sockets.Write(script);
        });
        VxLogin->Ports.Tcp = std::to_string(listener.serverPort());
        VxLogin->ComboBox2->setEditText("127.0.0.1");
    }
    bool Got(uint32_t type, std::string_view payload) const
    {
        return received.find(net::TVxProtocolFormat::MakeMessage(type, payload)) != std::string::npos;
    }
    QTcpServer listener;
    std::string received;
    std::vector<std::unique_ptr<AcceptedPeer>> peers;
};

class Login : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "login_window_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new TVxApplication(argc, argv);
    }

    void SetUp() override
    {
        frontend_test::WriteTestGame(game.Path(), "VX-ONE");
        CommandLine.InstallWorld = game.Path();
        CreateClientWindows();
        RunStep();
        ASSERT_EQ(TVxApplication::LastError, "");
        ASSERT_TRUE(VxLogin->isVisible());
    }

    void TearDown() override
    {
        DestroyClientWindows();
        ResetStartupState();
        CommandLine = {};
        TVxApplication::LastError.clear();
    }

    static void RunStep()
    {
        Init1->Timer1->stop();
        Init1->Timer1Timer();
        QCoreApplication::processEvents();
    }

    frontend_test::ConfigHome home;
    support::TempFolder game{"game"};
};

TEST_F(Login, ShowsItsTabsAndStartsThePreviewAtTheFirstFigureAbove300)
{
    EXPECT_EQ(VxLogin->windowTitle(), "Veltharn Client -- 0.2.3");
    EXPECT_EQ(VxLogin->size(), QSize(481, 455));
    ASSERT_EQ(VxLogin->PageControl1->count(), 3);
    EXPECT_EQ(VxLogin->PageControl1->tabText(0), "Sign In");
    EXPECT_EQ(VxLogin->PageControl1->tabText(1), "Servers");
    EXPECT_EQ(VxLogin->PageControl1->tabText(2), "Characters");
    EXPECT_EQ(VxLogin->PageControl1->currentIndex(), 0);
    EXPECT_EQ(VxLogin->ComboBox1->currentText(), "Avatar");
    EXPECT_EQ(VxLogin->ComboBox3->currentText(), "Test Server");
    EXPECT_EQ(VxLogin->Edit1->text(), "VX-ONE");
    EXPECT_FALSE(VxLogin->Edit1->isEnabled());
    EXPECT_TRUE(VxLogin->CheckBox2->isHidden());
    EXPECT_EQ(VxLogin->Image1->pixmap().size(), QSize(249, 67));
    ASSERT_EQ(VxLogin->ListView1->topLevelItemCount(), 1);
    const QStringList header = {"F", "Name", "World", "Type", "Net", "Players", "Ping", "IP"};
    const QStringList row = {"X", "Test Server", "ANVIL", "vx", "none", "?", "?", TVxLogin::PublicServerAddress};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(VxLogin->ListView1->headerItem()->text(c), header[c]);
        EXPECT_EQ(VxLogin->ListView1->topLevelItem(0)->text(c), row[c]);
    }

    // The mini game's only figure is 155; the timer is on, the frame at 17.
    EXPECT_EQ(CharacterShape, 155);
    EXPECT_EQ(VxLogin->PreviewFrame, 17);
    EXPECT_TRUE(VxLogin->Timer1->isActive());
    EXPECT_EQ(VxLogin->Timer1->interval(), 500);
    // The preview leaves the shared picture alone: the game and the map viewer own it.
    ColourBuffer[0][0] = 0x123456;
    OwnerBuffer[69][64].Row = 7;
    VxLogin->Timer1Timer();
    EXPECT_EQ(VxLogin->Label1->text(), "155 18");
    const QImage& picture = VxLogin->PaintBox1->Picture;
    ASSERT_EQ(picture.size(), QSize(75, 70));
    EXPECT_EQ(picture.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(ColourBuffer[0][0], 0x123456u);
    EXPECT_EQ(OwnerBuffer[69][64].Row, 7);
    EXPECT_EQ(ThisThreadColours(), &ColourBuffer[0][0]);
}

TEST_F(Login, PasswordShowsStarsAndThePreviewFillsItsWholeBox)
{
    VxLogin->Edit2->setText("secret");
    EXPECT_EQ(VxLogin->Edit2->displayText(), "******");

    // The stretched picture reaches every edge of the 145 x 193 box; its frame lies outside.
    QImage picture(75, 70, QImage::Format_RGB32);
    picture.fill(0xFF0000);
    picture.setPixel(74, 69, 0x00FF00);
    VxLogin->PaintBox1->Picture = picture;
    const QImage shown = VxLogin->PaintBox1->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(145, 193));
    for (QPoint corner : {QPoint(0, 0), QPoint(144, 0), QPoint(0, 100)})
        EXPECT_EQ(shown.pixel(corner) & 0xFFFFFF, 0xFF0000u) << corner.x() << "," << corner.y();
    EXPECT_EQ(shown.pixel(144, 192) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(Login, ArrowsWrapThroughTheFiguresAndEachClickAdvancesTheFrame)
{
    for (int shape : {151, 158})
        VxShapes->TileFlags[shape][1] = 13;
    VxLogin->hide();
    VxLogin->show();  // a new showing restarts at the first figure above 300
    ASSERT_EQ(CharacterShape, 151);

    VxLogin->SpeedButton2->click();
    EXPECT_EQ(VxLogin->Label1->text(), "155 18");
    VxLogin->SpeedButton2->click();
    EXPECT_EQ(VxLogin->Label1->text(), "158 17");
    VxLogin->SpeedButton2->click();  // past the last figure: back to the first at or above 150
    EXPECT_EQ(CharacterShape, 151);
    VxLogin->SpeedButton1->click();  // before the first: the last
    EXPECT_EQ(CharacterShape, 158);
    VxLogin->SpeedButton1->click();
    EXPECT_EQ(VxLogin->Label1->text(), "155 18");

    // Without any figure in the store the arrows stay put instead of searching forever.
    for (int shape : {151, 155, 158})
        VxShapes->TileFlags[shape][1] = 0;
    VxLogin->SpeedButton2->click();
    EXPECT_EQ(CharacterShape, 155);
}

TEST_F(Login, RestoringFromMinimisedKeepsTheChosenFigureAndOnlyANewShowingStartsOver)
{
    for (int shape : {151, 158})
        VxShapes->TileFlags[shape][1] = 13;
    VxLogin->PageControl1->setCurrentWidget(VxLogin->TabSheet3);
    VxLogin->SpeedButton2->click();
    ASSERT_EQ(CharacterShape, 158);

    VxLogin->showMinimized();
    QCoreApplication::processEvents();
    VxLogin->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(CharacterShape, 158);
    EXPECT_TRUE(VxLogin->Timer1->isActive());

    VxLogin->hide();
    VxLogin->show();
    EXPECT_EQ(CharacterShape, 151);
}

TEST_F(Login, ConnectWithAnEmptyNameStoresTheChoicesAndConnects)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    VxLogin->Ports.Tcp = std::to_string(server.serverPort());
    VxLogin->ComboBox1->setEditText("");
    VxLogin->Edit2->setText("pw");
    VxLogin->ComboBox2->setEditText("127.0.0.1");
    VxLogin->CheckBox1->setChecked(false);

    VxLogin->BitBtn2->click();
    EXPECT_FALSE(VxLogin->isVisible());
    EXPECT_FALSE(VxLogin->Timer1->isActive());
    EXPECT_TRUE(Connections->isVisible());
    EXPECT_EQ(CharacterName, "");
    EXPECT_EQ(CharacterPassword, "pw");
    EXPECT_EQ(VxaConfig->ReadValue("LastIP"), "127.0.0.1");
    EXPECT_EQ(VxaConfig->ReadValue("FullScreen"), "No");
    EXPECT_EQ(Connections->ServerAddress->text(), "127.0.0.1");
    EXPECT_EQ(Connections->InUDPLocalPort, 28101);
    EXPECT_EQ(Connections->InUDPRemotePort, 12577);
    EXPECT_EQ(Connections->InUDPRemoteHost, "127.0.0.1");
    EXPECT_TRUE(WaitFor([&] { return server.hasPendingConnections(); }));
    EXPECT_TRUE(WaitFor([&] { return Connections->Memo1->toPlainText().contains("accepted"); }));
    EXPECT_EQ(Connections->Memo1->toPlainText(),
              "Initiating TCP connection to 127.0.0.1\nSocket connection in progress.\nTCP Connection accepted.");

    // The next start leaves "Run Full Screen" unticked and offers the last address.
    DestroyClientWindows();
    CreateClientWindows();
    RunStep();
    EXPECT_FALSE(VxLogin->CheckBox1->isChecked());
    EXPECT_EQ(VxLogin->ComboBox2->currentText(), "127.0.0.1");
}

TEST_F(Login, NamePasswordAndWorldGoOutAndShowAsLatin1)
{
    WorldIdentity = "Zw\xF6lf";  // the world's identity line as its file holds it
    VxLogin->hide();
    VxLogin->show();
    EXPECT_EQ(VxLogin->Edit1->text(), QString::fromUtf8("Zwölf"));

    // The handler acts on each message as it comes: the whole login at once, up to a
    // name refused once the password is in.
    using net::TVxProtocolFormat;
    ScriptedServer server(TVxProtocolFormat::MakeMessage(net::msg::server_protocolversion, "2") +
                          TVxProtocolFormat::MakeMessage(net::msg::server_identity, WorldIdentity) +
                          TVxProtocolFormat::MakeMessage(net::msg::server_nameok, "") +
                          TVxProtocolFormat::MakeMessage(net::msg::server_badname, ""));
    VxLogin->ComboBox1->clearEditText();
    Type(VxLogin->ComboBox1->lineEdit(), QString::fromUtf8("Jörg"));
    VxLogin->Edit2->clear();
    Type(VxLogin->Edit2, QString::fromUtf8("päß"));
    platform::ConsoleCapture out;
    TConnections::EchoToStdout = true;  // --log-to-stdout
    VxLogin->BitBtn2->click();
    EXPECT_TRUE(WaitFor([&] { return server.Got(net::msg::client_password, "p\xE4\xDF"); })) << server.received;
    TConnections::EchoToStdout = false;
    EXPECT_TRUE(server.Got(net::msg::client_identity, "Zw\xF6lf") && server.Got(net::msg::client_name, "J\xF6rg"));
    const QString memo = Connections->Memo1->toPlainText();
    EXPECT_TRUE(memo.contains(QString::fromUtf8("You have: Zwölf\n"))) << memo.toStdString();
    EXPECT_TRUE(memo.contains(QString::fromUtf8("Name \"Jörg\" is an invalid name."))) << memo.toStdString();
    EXPECT_EQ(out.CountStartingWith("Name \"Jörg\" is an invalid name."), 1);  // in UTF-8
}

TEST_F(Login, ANameOrPasswordThatCannotBeSentIsRefusedBeforeConnecting)
{
    const char* const cases[][3] = {
        {"Jörg Ω", "pw",
         "Not connected: the Character Name box holds U+03A9 (character 6), which cannot be sent; "
         "names and passwords go to the server in Latin-1."},
        {"Ѕam", "pw",  // a Cyrillic letter that looks like S
         "Not connected: the Character Name box holds U+0405 (character 1), which cannot be sent; "
         "names and passwords go to the server in Latin-1."},
        {"Anna", "5€",
         "Not connected: the Password box holds a character that cannot be sent; "
         "names and passwords go to the server in Latin-1."},
    };
    ScriptedServer server("");
    for (const auto& [name, password, line] : cases) {
        Connections->Memo1->clear();
        VxLogin->ComboBox1->clearEditText();
        Type(VxLogin->ComboBox1->lineEdit(), QString::fromUtf8(name));
        VxLogin->Edit2->clear();
        Type(VxLogin->Edit2, QString::fromUtf8(password));
        VxLogin->BitBtn2->click();
        EXPECT_TRUE(VxLogin->isVisible() && VxLogin->Timer1->isActive()) << name;
        EXPECT_EQ(Connections->InSocket->state(), QAbstractSocket::UnconnectedState) << name;
        EXPECT_EQ(Connections->Memo1->toPlainText().toStdString(), line);
    }
}

TEST_F(Login, OwnLogLinesShowWholeInTheConsoleAndOnceInTheConnectionLog)
{
    std::string line = "The server's protocol version is not a number; nothing more is sent.";
    ScriptedServer server(net::TVxProtocolFormat::MakeMessage(net::msg::server_protocolversion, "two"));
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([&] { return Connections->Memo1->toPlainText().endsWith(QString::fromStdString(line)); }));
    // The console's newest lines back to the line's first piece (the others are
    // indented by two blanks), each as wide as the panel at most.
    QFont consoleFont;  // the panel's: the default font, 10 pixels high
    consoleFont.setPixelSize(10);
    std::string shown;
    for (int i = TGameView::ConsoleLogLines - 1; i >= 0; --i) {
        const std::string& piece = FullScreenForm->ConsoleLines[size_t(i)];
        EXPECT_LE(QFontMetrics(consoleFont).horizontalAdvance(QString::fromLatin1(piece)), 320) << piece;
        shown = piece + shown;
        if (piece.rfind("  ", 0) != 0)
            break;
    }
    std::erase(shown, ' ');
    std::erase(line, ' ');
    EXPECT_EQ(shown, line);
}

TEST_F(Login, APortBoxThatIsNotAPortEndsConnectBeforeAnyEndpointIsSet)
{
    for (const char* bad : {"12x78", "", "70000", "-1"}) {
        VxLogin->show();
        VxLogin->Ports.Tcp = "12578";
        VxLogin->Ports.LocalUdp = bad;
        Connections->InSocketPort = 1;
        try {
            VxLogin->BitBtn2Click();
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& e) {
            EXPECT_NE(std::string(e.what()).find("local UDP port box holds '" + std::string(bad) + "'"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(Connections->InSocketPort, 1);
        EXPECT_EQ(Connections->InSocket->state(), QAbstractSocket::UnconnectedState);
        EXPECT_FALSE(Connections->Memo1->toPlainText().contains("Initiating"));
    }
}

TEST_F(Login, ChangeCancelledOrWithoutSelectionChangesNothing)
{
    WhenShown(PickWorldForm, false);
    VxLogin->BitBtn1Click();
    WhenShown(PickWorldForm, true, [] { PickWorldForm->ListBox1->clearSelection(); });
    VxLogin->BitBtn1Click();
    EXPECT_TRUE(VxLogin->isVisible());
    EXPECT_TRUE(VxLogin->Timer1->isActive());
    EXPECT_FALSE(Init1->Timer1->isActive());
    EXPECT_EQ(VxaConfig->ReadItem(1, kListWorlds), "1");
}

TEST_F(Login, ChangeToTheSecondWorldStoresItAndReloads)
{
    support::TempFolder second{"second"};
    frontend_test::WriteTestGame(second.Path(), "VX-TWO");
    WhenShown(PickWorldForm, true, [&] {
        // "Install..." through the folder picker, then the new line chosen.
        VxLocation->SetCurrentFolder(QString::fromStdString(second.Path()));
        WhenShown(VxLocation, true);
        PickWorldForm->BitBtn2Click();
        ASSERT_EQ(PickWorldForm->ListBox1->count(), 2);
        PickWorldForm->ListBox1->item(1)->setSelected(true);
    });
    VxLogin->BitBtn1Click();
    EXPECT_EQ(VxaConfig->ReadItem(1, kListWorlds), "2");
    EXPECT_FALSE(VxLogin->isVisible());
    EXPECT_FALSE(VxLogin->Timer1->isActive());
    EXPECT_FALSE(ShapesLoaded);
    EXPECT_TRUE(Init1->Timer1->isActive());

    RunStep();  // what the start-up timer does two seconds later
    ASSERT_EQ(TVxApplication::LastError, "");
    EXPECT_EQ(WorldIdentity, "VX-TWO");
    EXPECT_EQ(GameFolder, second.Path());
    EXPECT_TRUE(VxLogin->isVisible());
    EXPECT_EQ(VxLogin->Edit1->text(), "VX-TWO");
}

TEST_F(Login, AutoReconnectTriesOnTheClockAndItsSettingIsStored)
{
    platform::FakeClock clock(1000);
    QTcpServer probe;  // a port with nothing listening
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    VxLogin->Ports.Tcp = std::to_string(port);
    VxLogin->ComboBox2->setEditText("127.0.0.1");
    auto memo = [] { return Connections->Memo1->toPlainText(); };
    auto connects = [&] { return memo().count("Initiating TCP connection to 127.0.0.1"); };

    EXPECT_FALSE(Connections->AutoReconnect->isChecked());
    Connections->AutoReconnect->click();
    EXPECT_EQ(VxaConfig->ReadValue("AutoReconnect"), "Yes");
    VxLogin->BitBtn2->click();
    ASSERT_TRUE(WaitFor([&] { return memo().endsWith("Connection refused.\nAuto reconnect: try 1 in 1 s."); }))
        << memo().toStdString();
    EXPECT_TRUE(Connections->ReconnectButton->isVisible());

    // Only the clock decides: real time passing starts nothing.
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(connects(), 1);
    clock.Advance(999);
    Connections->ReconnectTimerTimer();
    EXPECT_EQ(connects(), 1);
    clock.Advance(1);
    Connections->ReconnectTimerTimer();
    EXPECT_EQ(connects(), 2);
    EXPECT_FALSE(Connections->ReconnectButton->isVisible());
    EXPECT_FALSE(Connections->BitBtn3->isVisible());
    ASSERT_TRUE(WaitFor([&] { return memo().endsWith("Auto reconnect: try 1 failed.\nAuto reconnect: try 2 in 2 s."); }))
        << memo().toStdString();
    clock.Advance(1999);
    Connections->ReconnectTimerTimer();
    EXPECT_EQ(connects(), 2);
    clock.Advance(1);
    Connections->ReconnectTimerTimer();
    EXPECT_EQ(connects(), 3);
    ASSERT_TRUE(WaitFor([&] { return memo().endsWith("try 3 in 4 s."); })) << memo().toStdString();

    // Unticked, the waiting try goes and the choice is stored.
    Connections->AutoReconnect->click();
    EXPECT_EQ(VxaConfig->ReadValue("AutoReconnect"), "No");
    EXPECT_TRUE(memo().endsWith("Auto reconnect: off; try 3 dropped.")) << memo().toStdString();
    clock.Advance(60000);
    Connections->ReconnectTimerTimer();
    EXPECT_EQ(connects(), 3);

    // The next Connect shows the stored choice.
    Connections->BitBtn3->click();
    VxaConfig->WriteValue("AutoReconnect", "Yes");
    VxLogin->BitBtn2->click();
    EXPECT_TRUE(Connections->AutoReconnect->isChecked());
}

TEST_F(Login, CheckWorksAgainstAServerThatKnowsNothingOfChecks)
{
    // A server as the handshake describes it: welcome and protocol version on connect,
    // the world's identity in answer to the client's.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::unique_ptr<AcceptedPeer> peer;
    std::string received;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        peer = std::make_unique<AcceptedPeer>(server, received);
        peer->sockets.Write(net::TVxProtocolFormat::MakeMessage(net::msg::server_welcome, "Hi") +
                            net::TVxProtocolFormat::MakeMessage(net::msg::server_protocolversion, "2"));
        peer->OnRead = [&] {
            if (received.find("VX-ONE") != std::string::npos)
                peer->sockets.Write(net::TVxProtocolFormat::MakeMessage(net::msg::server_identity, "VX-ONE"));
        };
    });
    VxLogin->Ports.Tcp = std::to_string(server.serverPort());
    VxLogin->ComboBox2->setEditText("127.0.0.1");
    VxLogin->ComboBox3->setEditText("my server");
    VxLogin->CheckButton->click();
    ASSERT_TRUE(WaitFor([] { return VxLogin->ChecksRunning() == 0; }));
    ASSERT_TRUE(WaitFor([&] { return peer && peer->closed; })) << "the check leaves the connection open";

    // Version, protocol and identity, and then nothing: no name, no password.
    std::string_view bytes = received;
    std::vector<uint32_t> types;
    while (!net::TVxProtocolFormat::IsIncomplete(bytes)) {
        const size_t length = net::TVxProtocolFormat::PayloadLength(bytes);
        types.push_back(net::TVxProtocolFormat::ExtractType(bytes));
        bytes.remove_prefix(length);
    }
    EXPECT_EQ(types, (std::vector<uint32_t>{net::msg::client_version, net::msg::client_protocolversion,
                                            net::msg::client_identity}));

    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < VxLogin->ListView1->topLevelItemCount(); ++i)
        if (VxLogin->ListView1->topLevelItem(i)->text(7) == "127.0.0.1")
            row = VxLogin->ListView1->topLevelItem(i);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(0), "Y");
    EXPECT_EQ(row->text(1), "my server");
    EXPECT_EQ(row->text(2), "VX-ONE");
    EXPECT_EQ(row->text(3), "same world");
    EXPECT_EQ(row->text(4), "answered");
    EXPECT_TRUE(row->text(6).endsWith(" ms"));
    EXPECT_TRUE(row->toolTip(0).contains("Hi"));
    EXPECT_EQ(VxLogin->ListView1->topLevelItemCount(), 2) << "the fixed row and the checked one";
}

TEST_F(Login, AbortWhileConnectingOffersTheWayBackAndNoTry)
{
    platform::FakeClock clock(1000);
    QTcpServer probe;  // a port with nothing listening
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    VxLogin->Ports.Tcp = std::to_string(port);
    VxLogin->ComboBox2->setEditText("127.0.0.1");
    Connections->AutoReconnect->click();
    VxLogin->BitBtn2->click();
    ASSERT_NE(Connections->InSocket->state(), QAbstractSocket::UnconnectedState);
    Connections->BitBtn1->click();
    EXPECT_TRUE(Connections->BitBtn3->isVisible());
    EXPECT_TRUE(Connections->ReconnectButton->isVisible());
    WaitFor([] { return false; }, 200);
    clock.Advance(60000);
    Connections->ReconnectTimerTimer();
    const QString memo = Connections->Memo1->toPlainText();
    EXPECT_EQ(memo.count("Initiating TCP connection"), 1) << memo.toStdString();
    EXPECT_FALSE(memo.contains("Auto reconnect")) << memo.toStdString();
}

}  // namespace
