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

bool SendableText(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() <= 0xFF && Printable(static_cast<unsigned char>(c.unicode()));
    });
}

std::string LogText(std::string_view text, size_t limit)
{
    return platform::PrintableText(text, limit);
}

TGameServer::TGameServer(TServerOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      addressBook_(size_t(std::max(1, options_.RememberedAddresses))),
      rng_(std::random_device{}()),
      // One core is left to the event loop when there are two or more.
      passwordWork_(std::clamp(QThread::idealThreadCount() - 1, 1, 4))
{
    identity_ = ReadArchivedIdentity(options_.GameFolder);
    LoadWalls(options_.GameFolder);
    for (int shape = kFirstObjectShape; shape < VxShapes->ShapeCount; ++shape)
        if (VxShapes->IsCharacterShape(shape))
            characterShapes_.push_back(uint16_t(shape));
    if (options_.Database.isEmpty())
        QDir().mkpath(options_.DataFolder);
    accounts_ = std::make_unique<TAccountStore>(options_.Database.isEmpty() ? DatabasePath() : options_.Database,
                                                QStringLiteral("vxserver-%1").arg(quintptr(this)));
    scratch_.reserve(256);
    collector_ = new QTimer(this);
    collector_->setInterval(5);
    connect(collector_, &QTimer::timeout, this, &TGameServer::CollectWork);
    Log("World identity: " + identity_);
    Log("Database: " + accounts_->Location().toStdString());
}

TGameServer::~TGameServer()
{
    Shutdown();
}

QString TGameServer::DatabasePath() const
{
    return QDir(options_.DataFolder).filePath(QStringLiteral("vxserver.db"));
}

bool TGameServer::Start()
{
    listener_ = new QTcpServer(this);
    // A game server has no use for the system's HTTP proxy.
    listener_->setProxy(QNetworkProxy::NoProxy);
    connect(listener_, &QTcpServer::newConnection, this, &TGameServer::OnNewConnection);
    if (!listener_->listen(options_.Bind, options_.TcpPort)) {
        Log("Cannot listen on TCP port " + std::to_string(options_.TcpPort) + ": " +
            listener_->errorString().toStdString());
        return false;
    }
    // No other live server has this name (it holds this port): marks left under it
    // by an earlier run that died are stale.
    serverName_ = QSysInfo::machineHostName() + QLatin1Char('/') + QString::fromStdString(net::AddressText(options_.Bind)) +
                  QLatin1Char(':') + QString::number(TcpPort());
    try {
        accounts_->ReleaseLogins(serverName_);
    } catch (const std::exception& e) {
        Log(std::string("Account store: ") + e.what());
        listener_->close();
        return false;
    }
    SpawnNpcs();
    ticker_ = new QTimer(this);
    connect(ticker_, &QTimer::timeout, this, &TGameServer::Tick);
    ticker_->start(50);
    lastSave_ = lastRenewal_ = platform::TickCount();
    const std::string udp = options_.UdpPort == 0 ? std::string("any free ports")
                                                  : "ports " + std::to_string(options_.UdpPort) + "-" +
                                                        std::to_string(options_.UdpPort + options_.UdpPorts - 1);
    Log("Listening on " + net::AddressText(options_.Bind) + " TCP port " + std::to_string(TcpPort()) + ", UDP " + udp +
        ", " + std::to_string(options_.Npcs) + " characters");
    return true;
}

uint16_t TGameServer::TcpPort() const { return listener_ ? listener_->serverPort() : 0; }

int TGameServer::Connections() const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s != nullptr;
    return n;
}

int TGameServer::PlayersInGame() const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s && s->Stage == EStage::InGame;
    return n;
}

int TGameServer::PasswordChecksWaiting() const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s && s->Password == EPassword::Waiting;
    return n;
}

const TActor* TGameServer::FindPlayer(const QString& name) const
{
    for (const auto& s : sessions_)
        if (s && s->Actor && SameName(s->Name, name))
            return s->Actor;
    return nullptr;
}

void TGameServer::Shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    if (ticker_)
        ticker_->stop();
    if (collector_)
        collector_->stop();
    // Checks not started yet are dropped; running ones finish and are not answered.
    passwordWork_.Stop();
    for (auto& s : sessions_)
        if (s && s->Actor)
            s->Actor->Dirty = true;
    try {
        SaveDirty(true);
        if (!serverName_.isEmpty())
            accounts_->ReleaseLogins(serverName_);
        accounts_->Checkpoint();
    } catch (const std::exception& e) {
        Log(std::string("Saving at shutdown failed: ") + e.what());
    }
    for (auto& s : sessions_)
        if (s)
            EndSession(*s);
    if (!listener_ || !listener_->isListening())
        return;  // never started: nothing was loaded, nothing to report
    listener_->close();
    Log("Server stopped; everything saved.");
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

void TGameServer::EnterGame(TSession& session)
{
    // A returning player comes back where they were saved; a new one starts in town.
    int x = TownX, y = TownY;
    uint8_t lift = 0, facing = 8;
    if (session.Account.HasPosition) {
        x = session.Account.X % kWorldTiles;
        y = session.Account.Y % kWorldTiles;
        lift = uint8_t(session.Account.Lift & 15);
        facing = session.Account.Facing;
    } else {
        NearestFreeTile(x, y);
    }
    if (!session.ShapeGiven)
        session.Shape = characterShapes_.empty() ? 0 : characterShapes_.front();
    // One actor per account: a stale one (which EndSession would have removed) goes.
    const auto id = int32_t(session.AccountId);
    if (actors_.count(id)) {
        Log("Actor " + std::to_string(id) + " was still in the world; replaced");
        RemoveActor(id);
    }
    session.Stage = EStage::InGame;
    TActor& actor = AddActor(id, session.Shape, x, y, &session);
    actor.Lift = lift;
    actor.Facing = facing;
    session.Actor = &actor;
    Log(LogText(session.Name.toLatin1().toStdString()) + " enters the game at (" + std::to_string(x) + ", " +
        std::to_string(y) + ")");

    SendTCP(session, net::msg::server_player_id, net::Payload(net::TPlayerId{actor.ID}).View());
    const net::TPlayerPos pos{actor.Facing, uint8_t(actor.Lift), uint16_t(x), uint16_t(y)};
    SendTCP(session, net::msg::server_player_pos, net::Payload(pos).View());
    SendState(session, actor);
    UpdateViews();
}

}  // namespace server
