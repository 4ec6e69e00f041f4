// The one adapter between Qt's sockets and the rest: a TCP connection and a UDP
// endpoint whose events come out as plain calls, and the client session's host over
// them. The connection window, vxbot and every test player use it; the server keeps
// its own listening sockets but takes its address texts from here.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QUdpSocket>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/client_session.h"

namespace net {

// Room for any address text: an IPv6 one is at most 45 characters, and a zone name
// after it at most 16 more.
using TAddressText = std::array<char, 64>;

// An address as both sides of every comparison write it: plain dotted-decimal IPv4
// ("127.0.0.1", also for an IPv4-mapped IPv6 address, never "::ffff:127.0.0.1"), and
// Qt's text for any other IPv6 address. Into `out`; allocates nothing for IPv4.
std::string_view AddressText(const QHostAddress& address, TAddressText& out);
std::string AddressText(const QHostAddress& address);

// Qt's socket errors in the numbers the connection log shows.
ESocketFault SocketFault(QAbstractSocket::SocketError error);

// What a TSocketAdapter reports. Every call comes on the thread the adapter lives on.
class TSocketEvents {
public:
    virtual ~TSocketEvents() = default;
    // A host name is being looked up (never for a literal address).
    virtual void TcpLookingUp() {}
    virtual void TcpConnecting() {}
    virtual void TcpConnected(std::string_view /*peerAddress*/, uint16_t /*peerPort*/) {}
    virtual void TcpRead(std::string_view /*bytes*/) {}
    // The connection has closed, whichever side closed it. Comes queued, after the
    // call that closed it has returned: a close made while handling a message must
    // not end the connection (and empty its buffers) under the handler.
    virtual void TcpClosed() {}
    // A socket error; the peer closing the connection is TcpClosed, not an error.
    virtual void TcpFailed(ESocketFault /*fault*/, const QString& /*text*/) {}
    virtual void DatagramRead(std::string_view /*fromAddress*/, uint16_t /*fromPort*/, std::string_view /*bytes*/) {}
};

class TSocketAdapter : public QObject {
public:
    explicit TSocketAdapter(TSocketEvents& events, QObject* parent = nullptr);
    // The sockets' last events (a close while they go) do not reach the owner.
    ~TSocketAdapter() override { Mute(); }
    // No event reaches the owner from now on (an owner that is going away).
    void Mute();

    // --- TCP
    // Connects over IPv4, past any proxy the system names.
    void Connect(const QString& host, uint16_t port);
    // Takes over a connection a listening socket accepted (a test's server side).
    void Adopt(QTcpSocket* accepted);
    void Write(std::string_view bytes);
    bool Connected() const { return tcp_->state() == QAbstractSocket::ConnectedState; }
    QAbstractSocket::SocketState TcpState() const { return tcp_->state(); }
    // Closes after writing what is buffered; Abort drops it.
    void Close() { tcp_->close(); }
    void Abort() { tcp_->abort(); }
    QString TcpErrorText() const { return tcp_->errorString(); }
    QTcpSocket* Tcp() { return tcp_; }

    // --- UDP
    // Binds to a local port (0: any free one), on every IPv4 address unless one is
    // named; a bound endpoint is closed first.
    bool Bind(uint16_t localPort, const QHostAddress& address = QHostAddress(QHostAddress::AnyIPv4));
    uint16_t LocalPort() const { return udp_->localPort(); }
    void CloseUdp() { udp_->close(); }
    // Where Send sends.
    void SetRemote(std::string_view host, uint16_t port);
    void Send(std::string_view datagram);
    void SendTo(std::string_view datagram, const QHostAddress& host, uint16_t port);
    QUdpSocket* Udp() { return udp_; }
    // The endpoint's identity for the socket table.
    TUDPEndpoint Endpoint() { return udp_; }

private:
    void Wire();
    void ReadTcp();
    void ReadDatagrams();

    TSocketEvents& events_;
    QTcpSocket* tcp_;
    QUdpSocket* udp_;
    QString host_;  // the name connected to
    QHostAddress remote_;
    uint16_t remotePort_ = 0;
    std::array<char, 65536> buffer_{};  // one read or one datagram at a time
};

// The client session's host over one adapter: the socket half of the host, and the
// adapter's events handed to the session. The owner (the connection window, a bot,
// a test player) supplies the rest of the host: log lines, the world, the game.
class TSessionSockets : public TClientSessionHost, protected TSocketEvents {
public:
    TSessionSockets() : Sockets(*this) {}

    TSocketAdapter Sockets;

    // The session the events go to from now on; none drops them.
    void Attach(TClientSession* session) { session_ = session; }
    TClientSession* AttachedSession() const { return session_; }

    void WriteTCP(std::string_view bytes) override { Sockets.Write(bytes); }
    bool TCPActive() const override { return Sockets.Connected(); }
    void CloseTCP() override { Sockets.Close(); }
    bool BindUDP(uint16_t localPort) override { return Sockets.Bind(localPort); }
    uint16_t UDPLocalPort() const override { return Sockets.LocalPort(); }
    void SetUDPRemote(std::string_view host, uint16_t port) override { Sockets.SetRemote(host, port); }
    void SendDatagram(std::string_view bytes) override { Sockets.Send(bytes); }

protected:
    void TcpLookingUp() override;
    void TcpConnecting() override;
    void TcpConnected(std::string_view peerAddress, uint16_t peerPort) override;
    void TcpRead(std::string_view bytes) override;
    void TcpClosed() override;
    void TcpFailed(ESocketFault fault, const QString& text) override;
    void DatagramRead(std::string_view fromAddress, uint16_t fromPort, std::string_view bytes) override;
    // A socket error the session did not end the connection on (its Winsock number
    // and Qt's text), for the owner's own report.
    virtual void SocketErrorLeft(int /*errorNumber*/, const QString& /*text*/) {}

private:
    TClientSession* session_ = nullptr;
};

}  // namespace net
