// Qt's socket signals turned into plain calls, and those calls into the session's.
#include "net/socket_adapter.h"

#include <QNetworkProxy>
#include <algorithm>
#include <cstdio>

namespace net {

std::string_view AddressText(const QHostAddress& address, TAddressText& out)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    int n = 0;
    if (isV4) {
        n = std::snprintf(out.data(), out.size(), "%u.%u.%u.%u", (v4 >> 24) & 255, (v4 >> 16) & 255, (v4 >> 8) & 255,
                          v4 & 255);
    } else {
        const QByteArray text = address.toString().toLatin1();
        n = int(std::min<qsizetype>(text.size(), qsizetype(out.size())));
        std::copy_n(text.constData(), n, out.data());
    }
    return std::string_view(out.data(), size_t(n));
}

std::string AddressText(const QHostAddress& address)
{
    TAddressText text;
    return std::string(AddressText(address, text));
}

ESocketFault SocketFault(QAbstractSocket::SocketError error)
{
    using F = ESocketFault;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return F::ConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return F::ConnectionReset;
    case QAbstractSocket::HostNotFoundError: return F::HostNotFound;
    case QAbstractSocket::SocketAccessError: return F::AccessDenied;
    case QAbstractSocket::SocketTimeoutError: return F::TimedOut;
    case QAbstractSocket::NetworkError: return F::NetworkDown;
    case QAbstractSocket::AddressInUseError: return F::AddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError: return F::AddressNotAvailable;
    case QAbstractSocket::UnsupportedSocketOperationError: return F::Unsupported;
    case QAbstractSocket::TemporaryError: return F::WouldBlock;
    default: return F::Other;
    }
}

// --- TSocketAdapter

TSocketAdapter::TSocketAdapter(TSocketEvents& events, QObject* parent)
    : QObject(parent), events_(events), tcp_(new QTcpSocket(this)), udp_(new QUdpSocket(this))
{
    // A game server connection has no use for the system's HTTP proxy.
    tcp_->setProxy(QNetworkProxy::NoProxy);
    udp_->setProxy(QNetworkProxy::NoProxy);
    Wire();
    connect(udp_, &QIODevice::readyRead, this, &TSocketAdapter::ReadDatagrams);
}

void TSocketAdapter::Wire()
{
    connect(tcp_, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::HostLookupState && QHostAddress(host_).isNull())
            events_.TcpLookingUp();
        else if (state == QAbstractSocket::ConnectingState)
            events_.TcpConnecting();
    });
    connect(tcp_, &QAbstractSocket::connected, this, [this] {
        TAddressText text;
        events_.TcpConnected(AddressText(tcp_->peerAddress(), text), tcp_->peerPort());
    });
    connect(tcp_, &QIODevice::readyRead, this, &TSocketAdapter::ReadTcp);
    connect(tcp_, &QAbstractSocket::disconnected, this, [this] { events_.TcpClosed(); }, Qt::QueuedConnection);
    connect(tcp_, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            events_.TcpFailed(SocketFault(error), tcp_->errorString());
    });
}

void TSocketAdapter::Mute()
{
    tcp_->disconnect(this);
    udp_->disconnect(this);
}

void TSocketAdapter::Connect(const QString& host, uint16_t port)
{
    host_ = host;
    tcp_->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

void TSocketAdapter::Adopt(QTcpSocket* accepted)
{
    tcp_->disconnect(this);
    tcp_->deleteLater();
    tcp_ = accepted;
    tcp_->setParent(this);
    Wire();
    if (tcp_->bytesAvailable() > 0)
        ReadTcp();
}

void TSocketAdapter::Write(std::string_view bytes)
{
    tcp_->write(bytes.data(), qint64(bytes.size()));
}

void TSocketAdapter::ReadTcp()
{
    for (qint64 n; (n = tcp_->read(buffer_.data(), qint64(buffer_.size()))) > 0;)
        events_.TcpRead(std::string_view(buffer_.data(), size_t(n)));
}

bool TSocketAdapter::Bind(uint16_t localPort, const QHostAddress& address)
{
    udp_->abort();
    return udp_->bind(address, localPort);
}

void TSocketAdapter::SetRemote(std::string_view host, uint16_t port)
{
    remote_ = QHostAddress(QString::fromLatin1(host.data(), qsizetype(host.size())));
    remotePort_ = port;
}

void TSocketAdapter::Send(std::string_view datagram)
{
    udp_->writeDatagram(datagram.data(), qint64(datagram.size()), remote_, remotePort_);
}

void TSocketAdapter::SendTo(std::string_view datagram, const QHostAddress& host, uint16_t port)
{
    udp_->writeDatagram(datagram.data(), qint64(datagram.size()), host, port);
}

void TSocketAdapter::ReadDatagrams()
{
    while (udp_->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 n = udp_->readDatagram(buffer_.data(), qint64(buffer_.size()), &from, &fromPort);
        if (n < 0)
            continue;
        TAddressText text;
        events_.DatagramRead(AddressText(from, text), fromPort, std::string_view(buffer_.data(), size_t(n)));
    }
}

// --- TSessionSockets

void TSessionSockets::TcpLookingUp()
{
    if (session_)
        session_->InSocketLookup();
}

void TSessionSockets::TcpConnecting()
{
    if (session_)
        session_->InSocketConnecting();
}

void TSessionSockets::TcpConnected(std::string_view peerAddress, uint16_t peerPort)
{
    if (!session_)
        return;
    session_->InSocketConnect(Sockets.Tcp(), peerAddress, peerPort);
    // A new connection can take bytes at once: whatever waited goes out.
    session_->InSocketWrite();
}

void TSessionSockets::TcpRead(std::string_view bytes)
{
    if (session_)
        session_->InSocketRead(bytes);
}

void TSessionSockets::TcpClosed()
{
    if (session_)
        session_->InSocketDisconnect(Sockets.Tcp());
}

void TSessionSockets::TcpFailed(ESocketFault fault, const QString& text)
{
    if (!session_)
        return;
    // A refused connection ends in the session; any other number is the owner's.
    if (const int left = session_->InSocketError(WinsockErrorNumber(fault)); left != 0)
        SocketErrorLeft(left, text);
}

void TSessionSockets::DatagramRead(std::string_view fromAddress, uint16_t fromPort, std::string_view bytes)
{
    if (session_)
        session_->InUDPDataReceived(fromAddress, fromPort, bytes);
}

}  // namespace net
