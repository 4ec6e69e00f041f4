// The UDP channel of each connection: the client's UDP port, beats and their
// round trips, and movement records with their acknowledgements.
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "data/world_map.h"
#include "game_server.h"
#include "net/game_channel.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"

namespace server {

void TGameServer::OnDatagram(QUdpSocket* endpoint)
{
    char datagram[65536];
    while (endpoint->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 n = endpoint->readDatagram(datagram, sizeof datagram, &from, &fromPort);
        if (n < 0)
            break;
        const int32_t index = sockets_.FindSocketByUDP(endpoint);
        TSession* session = index != net::NoSocket ? sessions_[size_t(index)].get() : nullptr;
        // Only the address of the connection this endpoint belongs to may use it.
        if (!session || session->Closing || sockets_.Entry(index).Address != AddressText(from)) {
            if (session)
                ++session->DatagramsRefused;
            continue;
        }
        datagramSession_ = session;
        format_.ProcessDatagram(endpoint, fromPort, std::string_view(datagram, size_t(n)));
        datagramSession_ = nullptr;
    }
}

void TGameServer::HandleDatagramMessage(TSession& session, uint32_t type, std::string_view payload)
{
    using namespace net;
    if (session.Stage < EStage::LoggedIn)
        return;
    // A flood costs the sender its own messages, nobody else's.
    const uint32_t now = platform::TickCount();
    if (now - session.BudgetSecond >= 1000) {
        if (session.BudgetUsed > DatagramBudget)
            platform::ConsoleLine(session.Name.toStdString() + ": " +
                                  std::to_string(session.BudgetUsed - DatagramBudget) +
                                  " datagram messages over the budget dropped");
        session.BudgetSecond = now;
        session.BudgetUsed = 0;
    }
    if (++session.BudgetUsed > DatagramBudget)
        return;
    if (!Understood(session, type, payload))
        return;
    switch (type) {
    case msg::client_udpport:
        // ProcessDatagram has recorded the source port as the entry's UDPPort.
        if (!session.UdpKnown) {
            session.UdpKnown = true;
            platform::ConsoleLine(session.Name.toStdString() + " is on UDP port " +
                                  std::to_string(sockets_.Entry(session.Index).UDPPort));
            SendBeat(session, now);
        }
        return;
    case msg::client_beatack: {
        TBeat echo;
        Decode(payload, echo);  // the payload's length has been checked
        if (!session.BeatOut[echo.Sequence])
            return;  // never sent, or answered already
        session.BeatOut[echo.Sequence] = false;
        const TBeatAckAck answer{echo.Sequence, now - session.BeatSentAt[echo.Sequence]};
        SendUDP(session, msg::server_beatackack, Payload(answer).View());
        return;
    }
    case msg::client_keydown:
        HandleMove(session, true, payload);
        return;
    case msg::client_keyup:
        HandleMove(session, false, payload);
        return;
    default:
        return;
    }
}

void TGameServer::SendUDP(TSession& session, uint32_t type, std::string_view payload)
{
    const net::TSocketID& entry = sockets_.Entry(session.Index);
    if (!session.UdpKnown || entry.UDPPort == 0)
        return;
    scratch_.clear();
    net::TVxProtocolFormat::AppendMessage(scratch_, type, payload);
    session.Endpoint->writeDatagram(scratch_.data(), qint64(scratch_.size()),
                                    QHostAddress(QString::fromStdString(entry.Address)), entry.UDPPort);
}

void TGameServer::SendBeat(TSession& session, uint32_t now)
{
    ++session.BeatSequence;
    session.BeatSentAt[session.BeatSequence] = now;
    session.BeatOut[session.BeatSequence] = true;
    session.NextBeat = now + BeatInterval;
    SendUDP(session, net::msg::server_beat, net::Payload(net::TBeat{session.BeatSequence, now}).View());
}

void TGameServer::HandleMove(TSession& session, bool down, std::string_view payload)
{
    net::TMoveRecord record;
    net::Decode(payload, record);  // the payload's length has been checked
    if (record.Code >= net::DirUp && record.Code <= net::DirRight) {
        // Acknowledged at once, also a repeat: the client resends until it hears this.
        SendUDP(session, down ? net::msg::server_keydown_ack : net::msg::server_keyup_ack,
                net::Payload(net::TKeyAck{record.Code, record.KeyTime}).View());
    }
    TActor* actor = session.Actor;
    if (!actor)
        return;
    const uint32_t now = platform::TickCount();
    AdvanceActor(*actor, now);
    if (record.Code >= net::DirUp && record.Code <= net::DirRight) {
        // A press or release older than the latest one of the key came late: the
        // key's state is already newer.
        const int32_t age = int32_t(record.KeyTime - actor->HeldTime[record.Code]);
        if (actor->HeldTime[record.Code] != 0 && age < 0)
            return;
        actor->HeldTime[record.Code] = record.KeyTime;
        actor->Held[record.Code] = down;
        if (down)
            actor->Walking = false;
    } else if (record.Code == net::DirWalk) {
        if (down) {
            actor->Walking = true;
            actor->TargetX = record.TargetX % kWorldTiles;
            actor->TargetY = record.TargetY % kWorldTiles;
        } else {
            actor->Walking = false;
        }
    } else {
        return;
    }
    Steer(*actor, now);
}

}  // namespace server
