// Connections: accepting, reading, framing and closing them, with the limits of each
// connection and address; the messages of the handshake go to logins.cpp.
#include <QDir>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <tuple>

#include "data/initial_state.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "game_server.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/socket_adapter.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"

namespace server {
namespace {

void Log(const std::string& line) { platform::ConsoleLine(line); }

}  // namespace

std::string LogText(std::string_view text, size_t limit)
{
    return platform::PrintableText(text, limit);
}

TSession* TGameServer::SessionAt(int32_t index, uint64_t serial) const
{
    if (index < 1 || index >= net::MAX_SOCKETS)
        return nullptr;
    TSession* s = sessions_[size_t(index)].get();
    return s && s->Serial == serial ? s : nullptr;
}

void TGameServer::Later(const TSession& session, void (TGameServer::*work)(TSession&))
{
    const int32_t index = session.Index;
    const uint64_t serial = session.Serial;
    QTimer::singleShot(0, this, [this, index, serial, work] {
        if (TSession* s = SessionAt(index, serial))
            (this->*work)(*s);
    });
}

int TGameServer::PendingFrom(const std::string& address) const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s && !s->Closing && s->Stage < EStage::LoggedIn && s->Address == address;
    return n;
}

bool TGameServer::MakeRoom()
{
    // A closing connection first; else the one before login that has been silent
    // longest (silence as an age, which survives the tick count's wrap; the oldest
    // connection of equals). A real client answers each step of the login at once, so
    // the one that goes is a visitor that stopped talking, or a header whose message
    // never came; a connection whose password is on a worker stays.
    const uint32_t now = platform::TickCount();
    auto rank = [now](const TSession& s) { return std::make_tuple(!s.Closing, -int64_t(now - s.LastHeard), s.Serial); };
    TSession* victim = nullptr;
    for (const auto& s : sessions_) {
        if (!s || (!s->Closing && (s->Stage >= EStage::LoggedIn || s->Password == EPassword::Checking)))
            continue;
        if (!victim || rank(*s) < rank(*victim))
            victim = s.get();
    }
    if (!victim)
        return false;
    if (!victim->Closing)
        SessionLog(*victim, "Closing connection " + std::to_string(victim->Index) + " (" + victim->Address +
                                "): silent before login while the table is full; its place goes to a new connection");
    EndSession(*victim);
    return true;
}

int TGameServer::ConnectionsFrom(const std::string& address) const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s && !s->Closing && s->Address == address;
    return n;
}

QUdpSocket* TGameServer::OpenEndpoint(TSession& session)
{
    auto* endpoint = new QUdpSocket(this);
    endpoint->setProxy(QNetworkProxy::NoProxy);
    // Bound to the address the client reached, so its beats come from there; on a
    // port picked at random in the range (or by the system), so that it is no guess.
    bool bound = false;
    for (int attempt = 0; attempt < 32 && options_.UdpPort != 0 && !bound; ++attempt) {
        const auto port = uint16_t(options_.UdpPort + QRandomGenerator::system()->bounded(options_.UdpPorts));
        bound = endpoint->bind(session.LocalAddress, port);
    }
    if (!bound && !endpoint->bind(session.LocalAddress, 0)) {
        delete endpoint;
        return nullptr;
    }
    if (options_.UdpPort != 0 && (endpoint->localPort() < options_.UdpPort ||
                                  endpoint->localPort() >= options_.UdpPort + options_.UdpPorts))
        Log("No free UDP port in the range for connection " + std::to_string(session.Index) + "; it uses port " +
            std::to_string(endpoint->localPort()));
    TSession* s = &session;
    connect(endpoint, &QUdpSocket::readyRead, this, [this, s] { ReadDatagrams(*s); });
    session.Endpoint = endpoint;
    sockets_.Entry(session.Index).UDP = endpoint;
    return endpoint;
}

void TGameServer::OnNewConnection()
{
    while (QTcpSocket* socket = listener_->nextPendingConnection())
        Accept(socket);
}

void TGameServer::Accept(QTcpSocket* socket)
{
    const QHostAddress peer = socket->peerAddress();
    // A peer that reset before it was accepted has no address: nothing to talk to.
    if (shutDown_ || peer.isNull() || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const std::string address = net::AddressText(peer);
    const uint16_t port = socket->peerPort();
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // The system holds no more than this for a peer that does not read; the rest
    // counts against the connection's own output cap.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    // Qt reads no more than this ahead of the server: a sender that outruns its
    // bounded share per turn waits in its own TCP window.
    socket->setReadBufferSize(qint64(MaxUnframed));
    auto refuse = [&](const std::string& why, std::string_view text) {
        // A storm of connections costs a few lines a second, and a count.
        const uint32_t now = platform::TickCount();
        if (now - refusedWindow_ >= LogWindow) {
            if (refusedSuppressed_)
                Log("Refused connections: " + std::to_string(refusedSuppressed_) + " lines suppressed");
            refusedWindow_ = now;
            refusedLogged_ = 0;
            refusedSuppressed_ = 0;
        }
        if (refusedLogged_++ < LogLinesPerWindow)
            Log("Refused " + address + ":" + std::to_string(port) + ": " + why);
        else
            ++refusedSuppressed_;
        scratch_.clear();
        net::TVxProtocolFormat::AppendMessage(scratch_, net::msg::server_full, text);
        socket->write(scratch_.data(), qint64(scratch_.size()));
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        // A peer that never reads gets no grace beyond the reaper's.
        QTimer::singleShot(int(CloseGrace), socket, [socket] { socket->abort(); });
    };
    // Logged in or not: one address with accounts of its own cannot fill the table
    // with connections that never enter the game.
    if (ConnectionsFrom(address) >= options_.MaxConnectionsPerAddress) {
        refuse("too many connections from its address", "Too many connections from your address. Try again later.");
        return;
    }
    if (PendingFrom(address) >= options_.MaxPendingPerAddress) {
        refuse("too many connections from its address not logged in",
               "Too many connections from your address. Try again later.");
        return;
    }
    if (Connections() >= net::MAX_SOCKETS - 1 && !MakeRoom()) {
        refuse("server full", "The server is full. Try again later.");
        return;
    }
    const int32_t index = sockets_.AddSocket(socket, address, port);
    if (sessions_[size_t(index)]) {
        // The table and the sessions disagree: never overwrite a live session.
        Log("Socket table entry " + std::to_string(index) + " is still in use; connection from " + address +
            " refused");
        sockets_.RemoveSocket(socket);
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto session = std::make_unique<TSession>();
    TSession* s = session.get();
    s->Socket = socket;
    s->Index = index;
    s->Serial = ++nextSerial_;
    s->Address = address;
    s->Port = port;
    s->LocalAddress = socket->localAddress();
    s->ConnectedAt = s->LastHeard = platform::TickCount();
    sessions_[size_t(index)] = std::move(session);
    connect(socket, &QTcpSocket::readyRead, this, [this, s] { ReadSome(*s); });
    connect(socket, &QTcpSocket::disconnected, this, [this, s] { EndSession(*s); });
    Log("Connection " + std::to_string(index) + " from " + address + ":" + std::to_string(port));
    SendTCP(*s, net::msg::server_welcome, options_.Welcome.toLatin1().toStdString());
    SendTCP(*s, net::msg::server_protocolversion, "2");
}

void TGameServer::SendTCP(TSession& session, uint32_t type, std::string_view payload)
{
    if (session.Closing && type != net::msg::server_badname && type != net::msg::server_badpassword)
        return;
    scratch_.clear();
    net::TVxProtocolFormat::AppendMessage(scratch_, type, payload);
    session.Socket->write(scratch_.data(), qint64(scratch_.size()));
    // A client that does not read its messages is cut off rather than buffered for;
    // before login it gets hardly anything to read, so a little is enough.
    const size_t cap = session.Stage < EStage::LoggedIn ? MaxOutputBeforeLogin : options_.MaxOutput;
    if (size_t(session.Socket->bytesToWrite()) > cap && !session.Closing)
        CloseSession(session, "not reading its messages");
}

void TGameServer::ReadSome(TSession& session)
{
    session.ReadQueued = false;
    int handled = 0;
    char chunk[16384];
    while (!session.Closing) {
        // Whole messages first, up to this turn's share.
        while (handled < MessagesPerTurn && !session.Closing) {
            const std::string_view unread = session.In.Unread();
            if (net::TVxProtocolFormat::IsIncomplete(unread))
                break;
            const size_t length = net::TVxProtocolFormat::PayloadLength(unread);
            std::string_view rest = unread;
            const uint32_t type = net::TVxProtocolFormat::ExtractType(rest);
            const std::string_view payload = rest.substr(0, length);
            // The bytes stay where they are until the next Append; the handler never appends.
            session.In.Consume(length + 4);
            ++handled;
            HandleTcpMessage(session, type, payload);
        }
        if (handled >= MessagesPerTurn || session.Closing)
            break;
        if (session.In.Size() > MaxUnframed) {
            CloseSession(session, "more than 64 KiB without a whole message", true);
            session.In.Clear();
            return;
        }
        const qint64 n = session.Socket->read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        session.In.Append(chunk, size_t(n));
    }
    if (session.Closing) {
        // Nothing it sends from now on is read.
        session.In.Clear();
        session.Socket->skip(session.Socket->bytesAvailable());
        return;
    }
    // More to do: another turn, after everyone else's events.
    if (handled >= MessagesPerTurn && !session.ReadQueued) {
        session.ReadQueued = true;
        Later(session, &TGameServer::ReadSome);
    }
}

void TGameServer::CloseSession(TSession& session, const std::string& why, bool abortNow)
{
    const uint32_t now = platform::TickCount();
    if (session.Closing) {
        if (abortNow)
            session.ClosingSince = now - CloseGrace;
        return;
    }
    session.Closing = true;
    session.ClosingSince = abortNow ? now - CloseGrace : now;
    SessionLog(session, "Closing connection " + std::to_string(session.Index) + " (" +
                            (session.Name.isEmpty() ? session.Address : LogText(session.Name.toLatin1().toStdString())) +
                            "): " + why);
    // What is queued (a refusal) goes out first; a peer that does not take it within
    // the grace is aborted by the reaper. The disconnected event frees the session.
    const int32_t index = session.Index;
    const uint64_t serial = session.Serial;
    QTimer::singleShot(0, this, [this, index, serial] {
        if (TSession* s = SessionAt(index, serial)) {
            if (int32_t(platform::TickCount() - s->ClosingSince) >= int32_t(CloseGrace))
                EndSession(*s);
            else
                s->Socket->disconnectFromHost();
        }
    });
}

void TGameServer::ReapClosing()
{
    const uint32_t now = platform::TickCount();
    for (auto& s : sessions_)
        if (s && s->Closing && int32_t(now - s->ClosingSince) >= int32_t(CloseGrace))
            EndSession(*s);
}

void TGameServer::EndSession(TSession& session)
{
    const int32_t index = session.Index;
    // Its objects say nothing more to this server from here on.
    QTcpSocket* socket = session.Socket;
    socket->disconnect(this);
    if (session.Endpoint) {
        session.Endpoint->disconnect(this);
        session.Endpoint->close();
        session.Endpoint->deleteLater();
        sockets_.Entry(index).UDP = nullptr;
    }
    if (TActor* actor = session.Actor) {
        actor->Dirty = true;
        try {
            SaveDirty(false);
        } catch (const std::exception& e) {
            Log(std::string("Saving failed: ") + e.what());
        }
        RemoveActor(actor->ID);
    }
    if (session.LoginMarked) {
        // After the save: the next server to take the player reads this position.
        try {
            accounts_->ReleaseLogin(session.AccountId, serverName_);
        } catch (const std::exception& e) {
            Log(std::string("Account store: ") + e.what());
        }
    }
    ForgetPassword(session);
    if (session.Password == EPassword::Checking)
        passwords_.CheckEnded(AccountKey(session.Name));
    ReleaseAccountReservation(session);
    // A client that had its identity answered and left without naming a character
    // looked at the server (a server check, or a player with another world): it tried
    // no login, so nothing counts against its address.
    if (session.Stage == EStage::Connected && session.IdentityAnswered && !session.Closing)
        SessionLog(session, "Connection " + std::to_string(index) + " checked the server without logging in");
    FlushSuppressed(session, platform::TickCount());
    Log("Disconnected " + std::to_string(index) + " (" +
        (session.Name.isEmpty() ? session.Address : LogText(session.Name.toLatin1().toStdString())) + ")" +
        (session.MessagesDropped ? "; " + std::to_string(session.MessagesDropped) + " messages dropped" : ""));
    sockets_.RemoveSocket(socket);
    socket->abort();
    socket->deleteLater();
    sessions_[size_t(index)].reset();  // `session` is gone
    // Its account may be free for the next check in line; started on a later turn,
    // since this may run in the middle of starting checks.
    if (!shutDown_ && !passwords_.Empty())
        QTimer::singleShot(0, this, [this] { StartPasswordChecks(); });
    emit SessionClosed();
}

void TGameServer::Refuse(TSession& session, uint32_t type, std::string_view text, const std::string& why)
{
    SendTCP(session, type, text);
    CloseSession(session, why);
}

bool TGameServer::NameInGame(const QString& name, const TSession* except) const
{
    for (const auto& s : sessions_)
        if (s && s.get() != except && s->Stage >= EStage::LoggedIn && !s->Closing &&
            SameName(s->Name, name))
            return true;
    return false;
}

void TGameServer::HandleTcpMessage(TSession& session, uint32_t type, std::string_view payload)
{
    if (session.Closing)
        return;
    if (session.Password != EPassword::None) {
        // Kept in order for when the password check has answered.
        session.DeferredBytes += payload.size() + 4;
        if (session.DeferredBytes > MaxOutputBeforeLogin || session.Deferred.size() >= size_t(MaxDeferred)) {
            CloseSession(session, "too many messages while its password was checked", true);
            return;
        }
        session.Deferred.emplace_back(type, std::string(payload));
        return;
    }
    if (!AllowedAt(session.Stage, type)) {
        Drop(session, std::string(net::MessageName(type)) + " is not allowed at this stage");
        return;
    }
    if (!Understood(session, type, payload))
        return;
    session.LastHeard = platform::TickCount();
    HandleHandshake(session, type, payload);
}

bool TGameServer::Understood(TSession& session, uint32_t type, std::string_view payload)
{
    const net::TMessageInfo* info = net::FindMessage(type);
    if (!info)
        return false;
    if (payload.size() < info->Layout) {
        Drop(session, std::string(info->Name) + " with a payload shorter than its layout");
        return false;
    }
    return true;
}

void TGameServer::Drop(TSession& session, const std::string& what)
{
    // Dropped unread; only the first costs a log line, the count comes at the end.
    if (session.MessagesDropped++ == 0)
        SessionLog(session, "Connection " + std::to_string(session.Index) + ": " + what +
                                "; such messages are dropped");
}

void TGameServer::SessionLog(TSession& session, const std::string& line)
{
    const uint32_t now = platform::TickCount();
    if (now - session.LogWindowStart >= LogWindow)
        FlushSuppressed(session, now);
    if (session.LogLines >= LogLinesPerWindow) {
        ++session.LogSuppressed;
        return;
    }
    ++session.LogLines;
    Log(line);
}

void TGameServer::FlushSuppressed(TSession& session, uint32_t now)
{
    if (session.LogSuppressed)
        Log("Connection " + std::to_string(session.Index) + ": " + std::to_string(session.LogSuppressed) +
            " lines suppressed");
    session.LogSuppressed = 0;
    session.LogLines = 0;
    session.LogWindowStart = now;
}

}  // namespace server
