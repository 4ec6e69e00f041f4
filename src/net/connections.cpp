// The connection window's controls and its endpoints.
#include "net/connections.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QNetworkProxy>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/console.h"

namespace {

QLineEdit* DisabledBox(const char* text, QWidget* parent)
{
    auto* box = new QLineEdit(text, parent);
    box->setEnabled(false);
    return box;
}

}  // namespace

int WinsockError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;         // WSAECONNREFUSED
    case QAbstractSocket::RemoteHostClosedError: return 10054;          // WSAECONNRESET
    case QAbstractSocket::HostNotFoundError: return 11001;              // WSAHOST_NOT_FOUND
    case QAbstractSocket::SocketAccessError: return 10013;              // WSAEACCES
    case QAbstractSocket::SocketResourceError: return 10055;            // WSAENOBUFS
    case QAbstractSocket::SocketTimeoutError: return 10060;             // WSAETIMEDOUT
    case QAbstractSocket::DatagramTooLargeError: return 10040;          // WSAEMSGSIZE
    case QAbstractSocket::NetworkError: return 10065;                   // WSAEHOSTUNREACH
    case QAbstractSocket::AddressInUseError: return 10048;              // WSAEADDRINUSE
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049; // WSAEADDRNOTAVAIL
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045; // WSAEOPNOTSUPP
    case QAbstractSocket::TemporaryError: return 10035;                 // WSAEWOULDBLOCK
    default: return 10022;                                              // WSAEINVAL
    }
}

QString DottedIPv4(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : QString();
}

TConnections::TConnections()
{
    setWindowTitle("Connections");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(400, 300);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }

    InSocket = new QTcpSocket(this);
    InSocket->setProxy(QNetworkProxy::NoProxy);
    InUDP = new QUdpSocket(this);
    InUDP->setProxy(QNetworkProxy::NoProxy);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setMaximumBlockCount(MaxLogLines);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ServerAddress = DisabledBox("127.0.0.1", this);
    TCPPort = DisabledBox("12578", this);
    UDPPort = DisabledBox("12577", this);
    LocalUDPPort = DisabledBox("28101", this);
    BitBtn1 = new QPushButton("Abort", this);
    BitBtn2 = new QPushButton("Enter Game >>", this);
    BitBtn2->hide();
    BitBtn3 = new QPushButton("<< Login Screen", this);
    BitBtn3->hide();

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
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn3);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);

    connect(InSocket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        // A literal address is not looked up.
        if (state == QAbstractSocket::HostLookupState && QHostAddress(InSocketAddress).isNull())
            InSocketLookup();
        else if (state == QAbstractSocket::ConnectingState)
            InSocketConnecting();
    });
    connect(InSocket, &QAbstractSocket::connected, this, &TConnections::InSocketConnect);
    connect(InSocket, &QIODevice::readyRead, this, &TConnections::InSocketRead);
    connect(InSocket, &QAbstractSocket::disconnected, this, &TConnections::InSocketDisconnect);
    connect(InSocket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // The server closing the connection is the disconnected event, not an error.
        if (error != QAbstractSocket::RemoteHostClosedError)
            InSocketError(WinsockError(error));
    });
    AddLogLine = [this](std::string_view line) { AppendLog(line); };

    connect(BitBtn1, &QPushButton::clicked, this, &TConnections::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TConnections::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TConnections::BitBtn3Click);
}

TConnections::~TConnections()
{
    InSocket->disconnect(this);
    InUDP->disconnect(this);
}

void TConnections::AppendLog(std::string_view line)
{
    Memo1->appendPlainText(QString::fromLatin1(line.data(), qsizetype(line.size())));
    if (EchoToStdout)
        platform::ConsoleLine(line);
}

void TConnections::ActivateInSocket()
{
    InSocket->connectToHost(InSocketAddress, InSocketPort, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

void TConnections::InSocketLookup()
{
    AddLogLine("Looking up host...");
}

void TConnections::InSocketConnecting()
{
    AddLogLine("Socket connection in progress.");
}

void TConnections::InSocketConnect()
{
    AddLogLine("TCP Connection accepted.");
}

void TConnections::InSocketRead()
{
    InSocket->readAll();
}

void TConnections::InSocketDisconnect()
{
    AddLogLine("TCP Disconnected.");
    if (CloseGameWindow)
        CloseGameWindow();
    if (isHidden())
        show();
    BitBtn3->show();
}

void TConnections::InSocketError(int error)
{
    AddLogLine("TCP: Winsock error # " + std::to_string(error) + " while in state");
    if (error == 10035) {
        AddLogLine("Operation would block.");
        return;
    }
    if (error == 10061) {
        AddLogLine("Connection refused.");
        BitBtn3->show();
        InSocket->abort();
        return;
    }
    // The default report of the socket layer. The attempt is over, so the way back
    // to the login window opens as after a refusal.
    platform::ConsoleLine("Windows socket error: " + InSocket->errorString().toStdString() + " (" +
                          std::to_string(error) + ")");
    if (InSocket->state() == QAbstractSocket::UnconnectedState)
        BitBtn3->show();
}

void TConnections::BitBtn1Click()
{
    InSocket->close();
}

void TConnections::BitBtn2Click()
{
    BitBtn2->hide();
    if (ShowGameWindow)
        ShowGameWindow();
}

void TConnections::BitBtn3Click()
{
    hide();
    BitBtn3->hide();
    if (ShowLoginWindow)
        ShowLoginWindow();
}
