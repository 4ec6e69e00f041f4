// The server probe: socket and timer events handed to the check.
#include "window/server_probe.h"

#include <QNetworkProxy>

#include "platform/tick_count.h"

TServerProbe::TServerProbe(QString address, uint16_t port, std::string worldIdentity, QObject* parent)
    : QObject(parent), Address(std::move(address)), Port(port)
{
    socket_ = new QTcpSocket(this);
    socket_->setProxy(QNetworkProxy::NoProxy);
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    check_ = std::make_unique<net::TServerCheck>(
        std::move(worldIdentity),
        [this](std::string_view bytes) { socket_->write(bytes.data(), qint64(bytes.size())); },
        // Politely: what was written goes out, then the connection ends.
        [this] {
            if (socket_->state() != QAbstractSocket::UnconnectedState)
                socket_->disconnectFromHost();
        });

    connect(socket_, &QTcpSocket::connected, this, [this] {
        check_->Connected(platform::TickCount());
        AfterEvent();
    });
    connect(socket_, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = socket_->readAll();
        check_->Read(std::string_view(bytes.constData(), size_t(bytes.size())), platform::TickCount());
        AfterEvent();
    });
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        check_->Closed();
        AfterEvent();
    });
    connect(socket_, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            check_->Closed();
        else
            check_->Failed(socket_->errorString().toStdString());
        AfterEvent();
    });
    connect(timer_, &QTimer::timeout, this, [this] {
        check_->TimedOut(platform::TickCount());
        AfterEvent();
    });
}

TServerProbe::~TServerProbe()
{
    socket_->disconnect(this);
    socket_->abort();
}

void TServerProbe::Start()
{
    check_->Start(platform::TickCount());
    timer_->start();
    socket_->connectToHost(Address, Port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

void TServerProbe::AfterEvent()
{
    if (!check_->Done() || reported_)
        return;
    reported_ = true;
    timer_->stop();
    emit Finished();
}
