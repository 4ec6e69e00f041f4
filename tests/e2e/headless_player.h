// A second player for the end-to-end tests: a client session over its own sockets,
// with no windows, logging in as NAME with the password NAME-pw.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/client_session.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "net/protocol.h"

// A second player: a client session over its own sockets, with no windows.
class HeadlessPlayer : public net::TClientSessionHost {
public:
    explicit HeadlessPlayer(const std::string& name)
        : session(*this, actors, timer, speech, sockets, &udp)
    {
        net::TLoginChoices login;
        login.CharacterName = name;
        login.CharacterPassword = name + "-pw";
        login.WorldIdentity = "EMBER VALE";
        login.LocalUDPPort = "0";
        session.SetLogin(login);
        QObject::connect(&tcp, &QTcpSocket::connected, [this] {
            session.InSocketConnect(&tcp, "127.0.0.1", tcp.peerPort());
        });
        QObject::connect(&tcp, &QTcpSocket::readyRead, [this] {
            const QByteArray bytes = tcp.readAll();
            session.InSocketRead(std::string_view(bytes.constData(), size_t(bytes.size())));
        });
        QObject::connect(&tcp, &QTcpSocket::disconnected, &tcp, [this] { session.InSocketDisconnect(&tcp); },
                         Qt::QueuedConnection);
        QObject::connect(&udp, &QUdpSocket::readyRead, [this] {
            while (udp.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 port = 0;
                QByteArray datagram(int(udp.pendingDatagramSize()), '\0');
                udp.readDatagram(datagram.data(), datagram.size(), &from, &port);
                session.InUDPDataReceived(QHostAddress(from.toIPv4Address()).toString().toStdString(), port,
                                          std::string_view(datagram.constData(), size_t(datagram.size())));
            }
        });
        retransmit.setInterval(50);
        QObject::connect(&retransmit, &QTimer::timeout, [this] { session.RetransmitTimerTimer(); });
    }

    void Connect(int port) { tcp.connectToHost("127.0.0.1", quint16(port)); }

    // The record of another actor, read under the list's lock.
    bool Actor(int32_t id, net::TNPCRecord& out)
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        const net::TNPCNode* node = actors.FindEntry(id);
        if (!node || node == actors.Head())
            return false;
        out = *node;
        return true;
    }

    void WriteTCP(std::string_view bytes) override { tcp.write(bytes.data(), qint64(bytes.size())); }
    bool TCPActive() const override { return tcp.state() == QAbstractSocket::ConnectedState; }
    void CloseTCP() override { tcp.close(); }
    bool BindUDP(uint16_t port) override { return udp.bind(QHostAddress(QHostAddress::AnyIPv4), port); }
    uint16_t UDPLocalPort() const override { return udp.localPort(); }
    void SetUDPRemote(std::string_view host, uint16_t port) override
    {
        remote = QHostAddress(QString::fromStdString(std::string(host)));
        remotePort = port;
    }
    void SendDatagram(std::string_view bytes) override
    {
        udp.writeDatagram(bytes.data(), qint64(bytes.size()), remote, remotePort);
    }
    void AddLogLine(std::string_view line) override { log.emplace_back(line); }
    void LoadWorldData() override {}
    void StartRetransmitTimer() override { retransmit.start(); }
    void EnterGame() override { entered = true; }
    void ConnectionClosed() override { closed = true; }
    void ConnectionRefused() override { closed = true; }

    QTcpSocket tcp;
    QUdpSocket udp;
    QTimer retransmit;
    QHostAddress remote;
    uint16_t remotePort = 0;
    net::TNPCList actors;
    net::TGameTimer timer;
    net::TSpeechHistory speech;
    net::TSocketTable sockets;
    net::TClientSession session;
    std::vector<std::string> log;
    bool entered = false, closed = false;
};
