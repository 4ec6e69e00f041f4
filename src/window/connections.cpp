// The connection window: its controls, and Qt's socket events handed to the session.
#include "window/connections.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/tick_count.h"

namespace {

QLineEdit* DisabledBox(const std::string& text, QWidget* parent)
{
    auto* box = new QLineEdit(QString::fromStdString(text), parent);
    box->setEnabled(false);
    return box;
}

}  // namespace

TConnections::TConnections()
{
    setWindowTitle("Connections");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(400, 300);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }

    InSocket = Sockets.Tcp();
    InUDP = Sockets.Udp();
    RetransmitTimer = new QTimer(this);
    RetransmitTimer->setInterval(50);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setMaximumBlockCount(MaxLogLines);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ServerAddress = DisabledBox("127.0.0.1", this);
    TCPPort = DisabledBox(std::to_string(net::DefaultServerTcpPort), this);
    UDPPort = DisabledBox(std::to_string(net::DefaultServerUdpPort), this);
    LocalUDPPort = DisabledBox(std::to_string(net::DefaultClientUdpPort), this);
    BitBtn1 = new QPushButton("Abort", this);
    BitBtn2 = new QPushButton("Enter Game >>", this);
    BitBtn2->hide();
    BitBtn3 = new QPushButton("<< Login Screen", this);
    BitBtn3->hide();
    ReconnectButton = new QPushButton("Reconnect", this);
    ReconnectButton->hide();
    AutoReconnect = new QCheckBox("Auto reconnect", this);
    ReconnectTimer = new QTimer(this);
    ReconnectTimer->setInterval(100);
    Reconnecting.SetLog([this](std::string_view line) { AddOwnLogLine(line); });

    auto* boxes = new QGridLayout;
    boxes->addWidget(new QLabel("Server", this), 0, 0);
    boxes->addWidget(ServerAddress, 0, 1, 1, 3);
    boxes->addWidget(new QLabel("Port", this), 1, 0);
    boxes->addWidget(TCPPort, 1, 1);
    boxes->addWidget(new QLabel("(TCP)", this), 1, 2);
    boxes->addWidget(UDPPort, 2, 1);
    boxes->addWidget(new QLabel("(UDP)", this), 2, 2);
    boxes->addWidget(new QLabel("Local UDP", this), 3, 0);
    boxes->addWidget(LocalUDPPort, 3, 1);
    auto* reconnect = new QHBoxLayout;
    reconnect->addWidget(ReconnectButton);
    reconnect->addWidget(AutoReconnect);
    reconnect->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn3);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addWidget(Memo1, 1);
    layout->addLayout(reconnect);
    layout->addLayout(buttons);

    connect(RetransmitTimer, &QTimer::timeout, this, &TConnections::RetransmitTimerTimer);

    connect(BitBtn1, &QPushButton::clicked, this, &TConnections::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TConnections::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TConnections::BitBtn3Click);
    connect(ReconnectButton, &QPushButton::clicked, this, &TConnections::ReconnectButtonClick);
    connect(AutoReconnect, &QCheckBox::toggled, this, &TConnections::AutoReconnectToggled);
    connect(AutoReconnect, &QCheckBox::clicked, this, [this](bool on) {
        if (AutoReconnectChosen)
            AutoReconnectChosen(on);
    });
    connect(ReconnectTimer, &QTimer::timeout, this, &TConnections::ReconnectTimerTimer);
}

TConnections::~TConnections()
{
    Sockets.Mute();
}

void TConnections::NewSession(net::TNPCList& actors, net::TGameTimer& timer, const net::TLoginChoices& login)
{
    RetransmitTimer->stop();
    Session = std::make_unique<net::TClientSession>(*this, actors, timer, Speech ? *Speech : ownSpeech_,
                                                    net::SocketTable(), Sockets.Endpoint());
    Attach(Session.get());
    Session->SetLogin(login);
    Session->ClearEntered();
}

void TConnections::AppendLog(std::string_view line)
{
    const QString text = QString::fromLatin1(line.data(), qsizetype(line.size()));
    Memo1->appendPlainText(text);
    if (EchoToStdout)
        platform::ConsoleLine(text.toStdString());  // standard output is UTF-8 text
}

void TConnections::ActivateInSocket()
{
    Sockets.Connect(InSocketAddress, InSocketPort);
}

void TConnections::ShowConnect(const TConnectSteps& steps)
{
    show();
    ServerAddress->setText(QString::fromStdString(steps.ServerText));
    TCPPort->setText(QString::fromStdString(steps.Ports.Tcp));
    UDPPort->setText(QString::fromStdString(steps.Ports.Udp));
    LocalUDPPort->setText(QString::fromStdString(steps.Ports.LocalUdp));
}

void TConnections::StartConnect(const TConnectSteps& steps)
{
    InSocketAddress = QString::fromStdString(steps.ServerText);
    InSocketPort = steps.TcpPort;
    InUDPLocalPort = steps.LocalUdpPort;
    SetUDPRemote(steps.ServerBytes, steps.UdpPort);
    AppendLog(steps.LogLine);
    ActivateInSocket();
}

void TConnections::InSocketError(int errorNumber, const QString& text)
{
    // The socket layer's own report. When the attempt is over, the way back to the
    // login window opens as after a refusal.
    platform::ConsoleLine("Windows socket error: " + text.toStdString() + " (" + std::to_string(errorNumber) + ")");
    if (InSocket->state() == QAbstractSocket::UnconnectedState) {
        BitBtn3->show();
        AttemptEnded(false);
    }
}

void TConnections::RetransmitTimerTimer()
{
    if (BeforeRetransmit)
        BeforeRetransmit();
    if (Session)
        Session->RetransmitTimerTimer();
}

void TConnections::BitBtn1Click()
{
    const QAbstractSocket::SocketState state = InSocket->state();
    // The player's own close: no automatic try follows it.
    if (state != QAbstractSocket::UnconnectedState)
        Reconnecting.Aborted();
    InSocket->close();
    // An attempt still looking up or connecting ends without a disconnected event:
    // the way back shows here, or the window would offer none.
    if (state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState) {
        BitBtn3->show();
        AttemptEnded(false);
    }
}

void TConnections::BitBtn2Click()
{
    BitBtn2->hide();
    if (ShowGameWindow)
        ShowGameWindow();
}

void TConnections::BitBtn3Click()
{
    Reconnecting.Cancel();
    ReconnectTimer->stop();
    ReconnectButton->hide();
    hide();
    BitBtn3->hide();
    if (ShowLoginWindow)
        ShowLoginWindow();
}

void TConnections::ReconnectButtonClick()
{
    Reconnecting.Cancel();
    ReconnectTimer->stop();
    // As after "<< Login Screen" and Connect: the way back hides while the attempt runs.
    ReconnectButton->hide();
    BitBtn3->hide();
    if (Reconnect)
        Reconnect();
}

void TConnections::AutoReconnectToggled(bool on)
{
    Reconnecting.SetAuto(on, platform::TickCount());
    if (Reconnecting.Waiting())
        ReconnectTimer->start();
    else
        ReconnectTimer->stop();
}

void TConnections::ReconnectTimerTimer()
{
    if (!Reconnecting.Due(platform::TickCount()))
        return;
    ReconnectTimer->stop();
    ReconnectButton->hide();
    BitBtn3->hide();
    if (Reconnect)
        Reconnect();
}

void TConnections::AttemptEnded(bool refused)
{
    if (Reconnect)
        ReconnectButton->show();
    Reconnecting.Ended(refused, platform::TickCount());
    if (Reconnecting.Waiting())
        ReconnectTimer->start();
}

// --- the session's host ---

void TConnections::SetUDPRemote(std::string_view host, uint16_t port)
{
    InUDPRemoteHost = QString::fromLatin1(host.data(), qsizetype(host.size()));
    InUDPRemotePort = port;
    TSessionSockets::SetUDPRemote(host, port);
}

void TConnections::AddLogLine(std::string_view line)
{
    if (GameLog)
        GameLog(line);
    else
        AppendLog(line);
}

void TConnections::AddOwnLogLine(std::string_view line)
{
    if (GameOwnLog)
        GameOwnLog(line);
    else
        AppendLog(line);
}

void TConnections::LoadWorldData()
{
    if (LoadWorld)
        LoadWorld();
}

void TConnections::StartRetransmitTimer()
{
    RetransmitTimer->start();
}

void TConnections::EnterGame()
{
    Reconnecting.Entered();
    ReconnectTimer->stop();
    ReconnectButton->hide();
    if (ShowGameWindow)
        ShowGameWindow();
}

void TConnections::ConnectionClosed()
{
    // Shown before the game window closes, so the application never finds itself
    // without a window and ends.
    if (isHidden())
        show();
    if (CloseGameWindow)
        CloseGameWindow();
    BitBtn3->show();
    AttemptEnded(Session && Session->Refused());
}

void TConnections::ConnectionRefused()
{
    BitBtn3->show();
    AttemptEnded(false);
}

void TConnections::SpeechHeard(int32_t speakerId, std::string_view text)
{
    if (ChatLogLine)
        ChatLogLine("actor " + std::to_string(speakerId), text);
}

void TConnections::ChatSent(std::string_view text)
{
    if (ChatLogLine && Session)
        ChatLogLine(Session->Login().CharacterName, text);
}
