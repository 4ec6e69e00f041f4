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

    connect(BitBtn1, &QPushButton::clicked, this, &TConnections::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TConnections::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TConnections::BitBtn3Click);
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
