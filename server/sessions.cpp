// Connections and the login handshake, in the order the client expects: welcome,
// protocol version; identity; name; password, then the UDP port of the connection.
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

// Printable Latin-1: what the client's font can show.
bool Printable(unsigned char c) { return (c >= 0x20 && c < 0x7F) || c >= 0xA0; }

// Names are printable Latin-1, 1 to 47 characters, with no blank at either end.
bool ValidName(std::string_view name)
{
    if (name.empty() || name.size() > size_t(MaxNameLength) || name.front() == ' ' || name.back() == ' ')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return Printable(static_cast<unsigned char>(c)); });
}

void Log(const std::string& line) { platform::ConsoleLine(line); }

// Growing delay before the next password check of an address after its failures:
// none for the first three, then 1 s doubling up to a minute.
uint32_t FailureDelay(int failures)
{
    if (failures < 3)
        return 0;
    return std::min<uint32_t>(60000, 1000u << std::min(failures - 3, 6));
}

// Overwrites a password kept for its check before letting it go.
void ForgetPassword(TSession& session)
{
    std::fill(session.PendingPassword.begin(), session.PendingPassword.end(), '\0');
    session.PendingPassword.clear();
}

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
        accountsChecked_.erase(FoldedName(session.Name));
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
    if (!shutDown_ && !passwordQueue_.empty())
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

bool TGameServer::Allowed(const TSession& session, uint32_t type) const
{
    using namespace net;
    switch (session.Stage) {
    case EStage::Connected:
        return type == msg::client_version || type == msg::client_protocolversion ||
               type == msg::client_identity || type == msg::client_name;
    case EStage::Named:
        return type == msg::client_password;
    case EStage::LoggedIn:
        return type == msg::client_shape || type == msg::client_entergame || type == msg::client_chat;
    case EStage::InGame:
        return type == msg::client_shape || type == msg::client_chat;
    }
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
    if (!Allowed(session, type)) {
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

void TGameServer::HandleHandshake(TSession& session, uint32_t type, std::string_view payload)
{
    using namespace net;
    const std::string who = std::to_string(session.Index);
    switch (type) {
    case msg::client_version:
        SessionLog(session, "Connection " + who + " runs client version " + LogText(payload, 16));
        return;
    case msg::client_protocolversion:
        if (payload != "2")
            SessionLog(session, "Connection " + who + " speaks protocol " + LogText(payload, 16));
        return;
    case msg::client_identity:
        // Answered once: a client repeating it gets nothing more to read.
        if (std::exchange(session.IdentityAnswered, true))
            return;
        if (payload != identity_)
            SessionLog(session, "Connection " + who + " has another world: " + LogText(payload));
        SendTCP(session, msg::server_identity, identity_);
        return;
    case msg::client_name: {
        const QString name = QString::fromLatin1(payload.data(), qsizetype(payload.size()));
        if (!ValidName(payload)) {
            Refuse(session, msg::server_badname, {}, "invalid name " + LogText(payload));
            return;
        }
        if (session.NameWaiting)
            return;  // one name at a time
        session.Name = name;
        const uint32_t now = platform::TickCount();
        session.NameDue = NameAnswerTime(session, now);
        if (session.NameDue != now) {
            session.NameWaiting = true;
            return;
        }
        AnswerName(session);
        return;
    }
    case msg::client_password:
        QueuePasswordCheck(session, payload);
        return;
    case msg::client_shape: {
        TShape decoded;
        Decode(payload, decoded);  // the payload's length has been checked
        const uint16_t shape = decoded.Shape;
        // Only character shapes walk; anything else leaves the server's choice.
        if (std::find(characterShapes_.begin(), characterShapes_.end(), shape) != characterShapes_.end()) {
            session.Shape = shape;
            session.ShapeGiven = true;
            if (session.Actor && session.Actor->Shape != shape) {
                session.Actor->Shape = shape;
                session.Actor->Dirty = true;
                ShapeChanged(*session.Actor, platform::TickCount());
            }
        }
        return;
    }
    case msg::client_entergame:
        EnterGame(session);
        return;
    case msg::client_chat:
        if (session.Stage != EStage::InGame || !session.Actor)
            return;
        if (!session.Chat.Allow(platform::TickCount())) {
            SessionLog(session, LogText(session.Name.toLatin1().toStdString()) + " speaks too fast; line dropped");
            return;
        }
        Say(*session.Actor, CleanChatLine(payload));
        return;
    default:
        return;
    }
}

uint32_t TGameServer::NameAnswerTime(TSession& session, uint32_t now)
{
    TAddressState& address = RememberAddress(session.Address);
    if (now - address.NameWindowStart >= NameWindow) {
        address.NameWindowStart = now;
        address.Names = 0;
    }
    if (++address.Names <= options_.NamesPerAddress && int32_t(address.NextName - now) <= 0)
        return now;
    if (!std::exchange(address.ProbingLogged, true))
        Log("Names asked quickly from " + session.Address + "; its names are answered one a second");
    address.NextName = (int32_t(address.NextName - now) > 0 ? address.NextName : now) + NameInterval;
    return address.NextName;
}

void TGameServer::AnswerName(TSession& session)
{
    session.NameWaiting = false;
    if (NameInGame(session.Name, &session)) {
        Refuse(session, net::msg::server_badname, {},
               "name already in the game: " + LogText(session.Name.toLatin1().toStdString()));
        return;
    }
    session.Stage = EStage::Named;
    SendTCP(session, net::msg::server_nameok, {});
}

void TGameServer::AnswerWaitingNames(uint32_t now)
{
    for (auto& s : sessions_)
        if (s && s->NameWaiting && !s->Closing && int32_t(now - s->NameDue) >= 0)
            AnswerName(*s);
}

void TGameServer::QueuePasswordCheck(TSession& session, std::string_view password)
{
    const QByteArray bytes(password.data(), qsizetype(password.size()));
    if (!AcceptablePassword(bytes)) {
        // Too long, or holding a zero byte: no account has such a password.
        PasswordFailed(session);
        Refuse(session, net::msg::server_badpassword, {}, "unacceptable password for " +
                                                              LogText(session.Name.toLatin1().toStdString()));
        return;
    }
    session.Password = EPassword::Waiting;
    session.PendingPassword.assign(password);
    passwordQueue_.emplace_back(session.Index, session.Serial);
    StartPasswordChecks();
}

void TGameServer::StartPasswordChecks()
{
    const uint32_t now = platform::TickCount();
    for (auto it = passwordQueue_.begin(); it != passwordQueue_.end();) {
        TSession* s = SessionAt(it->first, it->second);
        if (!s || s->Closing || s->Password != EPassword::Waiting) {
            it = passwordQueue_.erase(it);
            continue;
        }
        const TAddressState* address = FindAddress(s->Address);
        const bool delayed = address && int32_t(address->NextCheck - now) > 0;
        if (delayed || accountsChecked_.count(FoldedName(s->Name))) {
            ++it;
            continue;
        }
        it = passwordQueue_.erase(it);
        StartPasswordCheck(*s);
    }
}

void TGameServer::StartPasswordCheck(TSession& session)
{
    // A new login of an account whose earlier connection is closing ends that one
    // first, so that the account never has two sessions.
    for (auto& other : sessions_)
        if (other && other.get() != &session && other->Closing && other->Stage >= EStage::LoggedIn &&
            SameName(other->Name, session.Name))
            EndSession(*other);
    if (NameInGame(session.Name, &session)) {
        session.Password = EPassword::None;
        Refuse(session, net::msg::server_badname, {}, "name already in the game");
        return;
    }
    // The database is read here, on the event loop, right before the check: a check
    // that waited sees the account that an earlier one may have created.
    TPasswordCheck check;
    check.Cost = options_.PasswordCost;
    try {
        std::optional<TAccount> found = accounts_->Find(session.Name, &check.Stored);
        check.NewAccount = !found;
        session.Account = found ? *found : TAccount{};
    } catch (const std::exception& e) {
        Log(std::string("Account store: ") + e.what());
        CloseSession(session, "account store failed");
        return;
    }
    if (check.NewAccount) {
        TAddressState& address = RememberAddress(session.Address);
        const uint32_t now = platform::TickCount();
        while (!address.Created.empty() && now - address.Created.front() >= AccountWindow)
            address.Created.pop_front();
        if (int(address.Created.size()) >= options_.NewAccountsPerAddress) {
            session.Password = EPassword::None;
            // Counted as a failure: otherwise this answer, given at once, would tell
            // without delay which names have no account.
            PasswordFailed(session);
            Refuse(session, net::msg::server_full, "Too many new accounts from your address. Try again later.",
                   "too many new accounts from " + session.Address);
            return;
        }
        // Counted now, not when the hash is done: checks started together cannot all
        // pass the limit before any of them has counted.
        address.Created.push_back(now);
        session.AccountReserved = true;
        session.AccountReservedAt = now;
    }
    session.Password = EPassword::Checking;
    accountsChecked_.insert(FoldedName(session.Name));
    ++passwordChecks_;
    auto result = std::make_shared<std::pair<TPasswordCheck::EResult, QString>>();
    const int32_t index = session.Index;
    const uint64_t serial = session.Serial;
    // The session keeps its copy until the answer: a name created meanwhile by
    // another server is checked once more, against that account.
    QByteArray secret(session.PendingPassword.data(), qsizetype(session.PendingPassword.size()));
    passwordWork_.Post(
        [check, result, secret = std::move(secret)]() mutable {
            result->first = check.Run(secret, result->second);
            secret.fill('\0');
        },
        [this, index, serial, result] { OnPasswordChecked(index, serial, result->first, result->second); });
    if (!collector_->isActive())
        collector_->start();
}

void TGameServer::HoldPasswordAnswers(bool hold)
{
    holdAnswers_ = hold;
    if (!hold && passwordWork_.Outstanding() > 0)
        collector_->start();
}

void TGameServer::CollectWork()
{
    if (holdAnswers_)
        return;
    passwordWork_.TakeDone();
    if (passwordWork_.Outstanding() == 0)
        collector_->stop();
}

void TGameServer::RenewLogins()
{
    std::vector<int64_t> held;
    try {
        held = accounts_->RenewLogins(serverName_, options_.LoginLease);
    } catch (const std::exception& e) {
        Log(std::string("Renewing login marks failed: ") + e.what());
        return;
    }
    std::sort(held.begin(), held.end());
    for (auto& s : sessions_)
        if (s && s->LoginMarked && !std::binary_search(held.begin(), held.end(), s->AccountId)) {
            // The mark belongs to another server now: this one saves no more of it.
            s->LoginMarked = false;
            CloseSession(*s, "its login mark was taken over by another server", true);
        }
}

void TGameServer::PasswordFailed(TSession& session)
{
    const uint32_t now = platform::TickCount();
    TAddressState& address = RememberAddress(session.Address);
    if (address.Failures && now - address.LastFailure > FailureMemory)
        address.Failures = 0;
    ++address.Failures;
    address.LastFailure = now;
    address.NextCheck = now + FailureDelay(address.Failures);
}

TGameServer::TAddressState& TGameServer::RememberAddress(const std::string& address)
{
    if (TAddressState* known = FindAddress(address))
        return *known;
    while (!addressOrder_.empty() && addressOrder_.size() >= size_t(std::max(1, options_.RememberedAddresses))) {
        addresses_.erase(addressOrder_.back().Address);
        addressOrder_.pop_back();
    }
    addressOrder_.emplace_front();
    addressOrder_.front().Address = address;
    addresses_.emplace(address, addressOrder_.begin());
    return addressOrder_.front();
}

TGameServer::TAddressState* TGameServer::FindAddress(const std::string& address)
{
    const auto it = addresses_.find(address);
    if (it == addresses_.end())
        return nullptr;
    addressOrder_.splice(addressOrder_.begin(), addressOrder_, it->second);  // iterators stay valid
    return &*it->second;
}

void TGameServer::SweepAddresses(uint32_t now)
{
    for (auto it = addressOrder_.begin(); it != addressOrder_.end();) {
        TAddressState& a = *it;
        while (!a.Created.empty() && now - a.Created.front() >= AccountWindow)
            a.Created.pop_front();
        const bool failuresLive = a.Failures && now - a.LastFailure <= FailureMemory;
        const bool delayLive = int32_t(a.NextCheck - now) > 0 || int32_t(a.NextName - now) > 0 ||
                               (a.Names && now - a.NameWindowStart < NameWindow);
        // A reservation of a check still running stays in Created until it is used.
        if (failuresLive || delayLive || !a.Created.empty()) {
            ++it;
            continue;
        }
        addresses_.erase(a.Address);
        it = addressOrder_.erase(it);
    }
}

void TGameServer::ReleaseAccountReservation(TSession& session)
{
    if (!std::exchange(session.AccountReserved, false))
        return;
    TAddressState* address = FindAddress(session.Address);
    if (!address)
        return;  // forgotten meanwhile
    std::deque<uint32_t>& created = address->Created;
    const auto it = std::find(created.begin(), created.end(), session.AccountReservedAt);
    if (it != created.end())
        created.erase(it);
}

void TGameServer::OnPasswordChecked(int32_t index, uint64_t serial, TPasswordCheck::EResult result,
                                    const QString& hashed)
{
    --passwordChecks_;
    TSession* found = shutDown_ ? nullptr : SessionAt(index, serial);
    if (!found)
        return;  // the connection has ended (and freed its account): nothing is created
    TSession& session = *found;
    session.Password = EPassword::None;
    accountsChecked_.erase(FoldedName(session.Name));
    // Whatever happens to this one, the next check in line may go.
    QTimer::singleShot(0, this, [this] { StartPasswordChecks(); });
    if (session.Closing)
        return;
    const std::string who = std::to_string(session.Index);
    const std::string name = LogText(session.Name.toLatin1().toStdString());
    if (result == TPasswordCheck::EResult::Mismatch) {
        PasswordFailed(session);
        Refuse(session, net::msg::server_badpassword, {}, "bad password for " + name);
        return;
    }
    bool marked = false;
    try {
        if (result == TPasswordCheck::EResult::Hashed) {
            std::optional<TAccount> created = accounts_->Create(session.Name, hashed);
            if (!created) {
                // Another server created the name since it was looked up: the password
                // is checked again, against that account.
                SessionLog(session, "Account " + name + " was created elsewhere meanwhile; checking again");
                ReleaseAccountReservation(session);
                session.Password = EPassword::Waiting;
                passwordQueue_.emplace_back(session.Index, session.Serial);
                return;
            }
            session.Account = *created;
            session.AccountReserved = false;  // used
        } else if (!hashed.isEmpty()) {
            accounts_->SetPassword(session.Account.Id, hashed);
            Log("Password of " + name + " stored with the current hash");
        }
        marked = accounts_->ClaimLogin(session.Account.Id, serverName_, options_.LoginLease);
    } catch (const std::exception& e) {
        Log(std::string("Account store: ") + e.what());
        CloseSession(session, "account store failed");
        return;
    }
    ForgetPassword(session);
    if (!marked) {
        Refuse(session, net::msg::server_badname, {}, "name already in the game on another server: " + name);
        return;
    }
    session.LoginMarked = true;
    const TAccount& account = session.Account;
    session.AccountId = account.Id;
    session.Name = account.Name.isEmpty() ? session.Name : account.Name;
    if (std::find(characterShapes_.begin(), characterShapes_.end(), account.Shape) != characterShapes_.end()) {
        session.Shape = account.Shape;
        session.ShapeGiven = true;
    }
    QUdpSocket* endpoint = OpenEndpoint(session);
    if (!endpoint) {
        Log("No UDP port for connection " + who);
        CloseSession(session, "no UDP port free");
        return;
    }
    session.Stage = EStage::LoggedIn;
    session.LastHeard = platform::TickCount();
    Log((result == TPasswordCheck::EResult::Hashed ? "New account " : "Login ") +
        LogText(session.Name.toLatin1().toStdString()) + " on connection " + who);
    const net::TUdpPort port{endpoint->localPort()};
    SendTCP(session, net::msg::server_udpport, net::Payload(port).View());

    // What the client sent meanwhile, in its order.
    std::deque<std::pair<uint32_t, std::string>> deferred;
    deferred.swap(session.Deferred);
    session.DeferredBytes = 0;
    while (!deferred.empty() && !session.Closing) {
        HandleTcpMessage(session, deferred.front().first, deferred.front().second);
        deferred.pop_front();
    }
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
