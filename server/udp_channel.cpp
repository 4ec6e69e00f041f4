// The UDP channel of each connection: the client's UDP port, beats and their
// round trips, and movement records with their acknowledgements.
#include <QTcpSocket>
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
namespace {

// The same peer address, whether written as IPv4 or as IPv4-mapped IPv6.
bool SameAddress(const QHostAddress& a, const QHostAddress& b)
{
    bool aV4 = false, bV4 = false;
    const quint32 a4 = a.toIPv4Address(&aV4), b4 = b.toIPv4Address(&bV4);
    return aV4 && bV4 ? a4 == b4 : a == b;
}

}  // namespace

void TGameServer::ReadDatagrams(TSession& session)
{
    QUdpSocket* endpoint = session.Endpoint;
    static char datagram[65536];  // main thread only
    // A bounded share per turn: the socket stays readable, so the event loop comes
    // back for the rest after everyone else's events.
    for (int taken = 0; taken < DatagramsPerTurn && endpoint->hasPendingDatagrams() && !session.Closing; ++taken) {
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 n = endpoint->readDatagram(datagram, sizeof datagram, &from, &fromPort);
        if (n < 0)
            break;
        HandleDatagram(session, from, fromPort, std::string_view(datagram, size_t(n)));
    }
    if (session.Closing)
        while (endpoint->hasPendingDatagrams())
            endpoint->readDatagram(nullptr, 0);
}

void TGameServer::HandleDatagram(TSession& session, const QHostAddress& from, uint16_t fromPort,
                                 std::string_view datagram)
{
    using Format = net::TVxProtocolFormat;
    // Only the client's own endpoint may use this one: its TCP peer's address, and
    // once fixed, its port. Anything else is dropped unread and counts against nobody.
    if (!SameAddress(from, session.Socket->peerAddress()) || (session.UdpKnown && fromPort != session.UdpPort)) {
        ++session.DatagramsRefused;
        return;
    }
    if (Format::IsIncomplete(datagram))
        return;
    if (!session.UdpKnown) {
        // The first client_udpport fixes the client's endpoint; before it, nothing counts.
        std::string_view front = datagram;
        const size_t length = Format::PayloadLength(front);
        if (Format::ExtractType(front) != net::msg::client_udpport || length < net::TUdpPort::Size) {
            ++session.DatagramsRefused;
            return;
        }
        session.UdpKnown = true;
        session.UdpAddress = from;
        session.UdpPort = fromPort;
        sockets_.Entry(session.Index).UDPPort = fromPort;
        SessionLog(session, LogText(session.Name.toLatin1().toStdString()) + " is on UDP port " +
                                std::to_string(fromPort));
        SendBeat(session, platform::TickCount());
    }
    std::string_view rest = datagram;
    while (!Format::IsIncomplete(rest) && !session.Closing) {
        const size_t length = Format::PayloadLength(rest);
        const uint32_t type = Format::ExtractType(rest);
        const std::string_view payload = rest.substr(0, length);
        rest.remove_prefix(length);
        // A flood costs the sender its own messages, nobody else's; the rest of a
        // datagram over the budget is not even looked at.
        const uint32_t now = platform::TickCount();
        if (now - session.BudgetSecond >= 1000) {
            if (session.BudgetUsed > DatagramBudget)
                SessionLog(session, LogText(session.Name.toLatin1().toStdString()) + ": " +
                                        std::to_string(session.BudgetUsed - DatagramBudget) +
                                        " datagram messages over the budget dropped");
            session.BudgetSecond = now;
            session.BudgetUsed = 0;
        }
        if (++session.BudgetUsed > DatagramBudget)
            return;
        HandleDatagramMessage(session, type, payload);
    }
}

void TGameServer::HandleDatagramMessage(TSession& session, uint32_t type, std::string_view payload)
{
    using namespace net;
    if (session.Stage < EStage::LoggedIn)
        return;
    if (type != msg::client_udpport && type != msg::client_beatack && type != msg::client_keydown &&
        type != msg::client_keyup)
        return;  // nothing else is the client's to send by datagram
    if (!Understood(session, type, payload))
        return;
    const uint32_t now = platform::TickCount();
    session.LastHeard = now;
    switch (type) {
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
        return;  // a repeated client_udpport: the endpoint is fixed already
    }
}

void TGameServer::SendUDP(TSession& session, uint32_t type, std::string_view payload)
{
    if (!session.UdpKnown || !session.Endpoint)
        return;
    scratch_.clear();
    net::TVxProtocolFormat::AppendMessage(scratch_, type, payload);
    session.Endpoint->writeDatagram(scratch_.data(), qint64(scratch_.size()), session.UdpAddress, session.UdpPort);
}

void TGameServer::SendBeat(TSession& session, uint32_t now)
{
    ++session.BeatSequence;
    session.BeatSentAt[session.BeatSequence] = now;
    session.BeatOut[session.BeatSequence] = true;
    session.NextBeat = now + BeatInterval;
    SendUDP(session, net::msg::server_beat, net::Payload(net::TBeat{session.BeatSequence, now}).View());
}

bool TGameServer::NewerMove(TSession& session, uint8_t code, uint8_t sequence, uint32_t now)
{
    // The client numbers every record, retransmissions included, and its key times
    // are not monotonic (its clock offset moves with each beat), so the sequence
    // decides: newer with wrap. A key silent for a while takes any record, so that
    // other keys' records wrapping the sequence meanwhile cannot freeze it.
    const size_t k = code & 7;
    const bool newer = !session.MoveSeen[k] || int8_t(uint8_t(sequence - session.MoveSequence[k])) > 0 ||
                       now - session.MoveAppliedAt[k] > KeyOrderWindow;
    if (newer) {
        session.MoveSeen[k] = true;
        session.MoveSequence[k] = sequence;
        session.MoveAppliedAt[k] = now;
    }
    return newer;
}

void TGameServer::HandleMove(TSession& session, bool down, std::string_view payload)
{
    net::TMoveRecord record;
    net::Decode(payload, record);  // the payload's length has been checked
    const bool arrow = record.Code >= net::DirUp && record.Code <= net::DirRight;
    if (arrow) {
        // Acknowledged at once, also a repeat or an old one: the client resends until
        // it hears this.
        SendUDP(session, down ? net::msg::server_keydown_ack : net::msg::server_keyup_ack,
                net::Payload(net::TKeyAck{record.Code, record.KeyTime}).View());
    }
    TActor* actor = session.Actor;
    if (!actor || (!arrow && record.Code != net::DirWalk))
        return;
    const uint32_t now = platform::TickCount();
    if (!NewerMove(session, record.Code, record.Sequence, now))
        return;  // an older record of the key came late: its state is newer already
    AdvanceActor(*actor, now);
    if (arrow) {
        actor->HeldTime[record.Code] = record.KeyTime;
        actor->Held[record.Code] = down;
        if (down)
            actor->Walking = false;
    } else if (down) {
        actor->Walking = true;
        actor->TargetX = record.TargetX % kWorldTiles;
        actor->TargetY = record.TargetY % kWorldTiles;
    } else {
        actor->Walking = false;
    }
    Steer(*actor, now);
}

}  // namespace server
