// Connections and the login handshake, in the order the client expects: welcome,
// protocol version; identity; name; password, then the UDP port of the connection.
#include <QDir>

#include <algorithm>
#include <QThread>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include "data/initial_state.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "game_server.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"

namespace server {
namespace {


// Names are printable ASCII, 1 to 47 characters.
bool ValidName(std::string_view name)
{
    if (name.empty() || name.size() > size_t(MaxNameLength))
        return false;
    for (const char c : name)
        if (c < 32 || c > 126)
            return false;
    return true;
}

void Log(const std::string& line) { platform::ConsoleLine(line); }

}  // namespace

TGameServer::TGameServer(TServerOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), format_(sockets_), rng_(std::random_device{}())
{
    identity_ = ReadArchivedIdentity(options_.GameFolder);
    LoadWalls(options_.GameFolder);
    for (int shape = kFirstObjectShape; shape < VxShapes->ShapeCount; ++shape)
        if (VxShapes->IsCharacterShape(shape))
            characterShapes_.push_back(uint16_t(shape));
    QDir().mkpath(options_.DataFolder);
    accounts_ = std::make_unique<TAccountStore>(DatabasePath(),
                                                QStringLiteral("vxserver-%1").arg(quintptr(this)));
    format_.SetHandler([this](int32_t index, uint32_t type, std::string_view payload) {
        HandleMessage(index, type, payload);
    });
    scratch_.reserve(256);
    // One core is left to the event loop when there are two or more.
    passwordPool_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() - 1, 1, 4));
    Log("World identity: " + identity_);
    Log("Database: " + DatabasePath().toStdString());
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
    connect(listener_, &QTcpServer::newConnection, this, &TGameServer::OnNewConnection);
    if (!listener_->listen(options_.Bind, options_.TcpPort)) {
        Log("Cannot listen on TCP port " + std::to_string(options_.TcpPort) + ": " +
            listener_->errorString().toStdString());
        return false;
    }
    SpawnNpcs();
    ticker_ = new QTimer(this);
    connect(ticker_, &QTimer::timeout, this, &TGameServer::Tick);
    ticker_->start(50);
    lastSave_ = platform::TickCount();
    Log("Listening on " + AddressText(options_.Bind) + " TCP port " + std::to_string(TcpPort()) +
        ", UDP from port " + std::to_string(options_.UdpPort) + ", " + std::to_string(options_.Npcs) +
        " characters");
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

const TActor* TGameServer::FindPlayer(const QString& name) const
{
    for (const auto& s : sessions_)
        if (s && s->Actor && s->Name.compare(name, Qt::CaseInsensitive) == 0)
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
    // Checks not started yet are dropped; running ones finish, and their answers,
    // queued to this object, are ignored or vanish with it.
    passwordPool_.clear();
    passwordPool_.waitForDone();
    for (auto& s : sessions_)
        if (s && s->Actor)
            s->Actor->Dirty = true;
    try {
        SaveDirty(true);
        accounts_->Checkpoint();
    } catch (const std::exception& e) {
        Log(std::string("Saving at shutdown failed: ") + e.what());
    }
    for (auto& s : sessions_) {
        if (!s)
            continue;
        s->Socket->disconnect(this);
        s->Socket->abort();
        s->Socket->deleteLater();
        sockets_.RemoveSocket(s->Socket);
        s.reset();
    }
    if (!listener_ || !listener_->isListening())
        return;  // never started: nothing was loaded, nothing to report
    listener_->close();
    Log("Server stopped; everything saved.");
}

QUdpSocket* TGameServer::EndpointFor(int32_t index)
{
    if (QUdpSocket* endpoint = endpoints_[size_t(index)])
        return endpoint;
    auto* endpoint = new QUdpSocket(this);
    const uint16_t wanted = options_.UdpPort ? uint16_t(options_.UdpPort + index - 1) : 0;
    if (!endpoint->bind(options_.Bind, wanted)) {
        Log("UDP port " + std::to_string(wanted) + " is taken; entry " + std::to_string(index) +
            " uses a free port instead");
        endpoint->bind(options_.Bind, 0);
    }
    connect(endpoint, &QUdpSocket::readyRead, this, [this, endpoint] { OnDatagram(endpoint); });
    endpoints_[size_t(index)] = endpoint;
    sockets_.Entry(index).UDP = endpoint;
    return endpoint;
}

void TGameServer::OnNewConnection()
{
    while (QTcpSocket* socket = listener_->nextPendingConnection()) {
        if (shutDown_) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const std::string address = AddressText(socket->peerAddress());
        const uint16_t port = socket->peerPort();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (Connections() >= net::MAX_SOCKETS - 1) {
            Log("Refused " + address + ":" + std::to_string(port) + ": server full");
            scratch_.clear();
            net::TVxProtocolFormat::AppendMessage(scratch_, net::msg::server_full,
                                                  "The server is full. Try again later.");
            socket->write(scratch_.data(), qint64(scratch_.size()));
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        const int32_t index = sockets_.AddSocket(socket, address, port);
        auto session = std::make_unique<TSession>();
        TSession* s = session.get();
        s->Socket = socket;
        s->Index = index;
        s->Address = address;
        s->Port = port;
        s->ConnectedAt = platform::TickCount();
        s->Endpoint = EndpointFor(index);
        sessions_[size_t(index)] = std::move(session);
        connect(socket, &QTcpSocket::readyRead, this, [this, s] { OnReadyRead(s); });
        connect(socket, &QTcpSocket::disconnected, this, [this, s] { OnDisconnected(s); });
        Log("Connection " + std::to_string(index) + " from " + address + ":" + std::to_string(port));
        SendTCP(*s, net::msg::server_welcome, options_.Welcome.toStdString());
        SendTCP(*s, net::msg::server_protocolversion, "2");
    }
}

void TGameServer::SendTCP(TSession& session, uint32_t type, std::string_view payload)
{
    if (session.Closing && type != net::msg::server_badname && type != net::msg::server_badpassword)
        return;
    scratch_.clear();
    net::TVxProtocolFormat::AppendMessage(scratch_, type, payload);
    session.Socket->write(scratch_.data(), qint64(scratch_.size()));
    // A client that does not read its messages is cut off rather than buffered for.
    if (session.Socket->bytesToWrite() > 4 * 1024 * 1024 && !session.Closing)
        CloseSession(session, "not reading its messages");
}

void TGameServer::OnReadyRead(TSession* session)
{
    char chunk[16384];
    for (;;) {
        const qint64 n = session->Socket->read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        if (session->Closing)
            continue;
        session->In.Append(chunk, size_t(n));
        format_.ProcessStream(session->Address, session->Port, session->In);
        if (session->In.Size() > MaxUnframed) {
            CloseSession(*session, "more than 64 KiB without a whole message");
            session->In.Clear();
        }
    }
}

void TGameServer::CloseSession(TSession& session, const std::string& why)
{
    if (session.Closing)
        return;
    session.Closing = true;
    Log("Closing connection " + std::to_string(session.Index) + " (" +
        (session.Name.isEmpty() ? session.Address : session.Name.toStdString()) + "): " + why);
    // Sends what is queued (a refusal) first; the disconnected event cleans up.
    QTcpSocket* socket = session.Socket;
    QMetaObject::invokeMethod(socket, [socket] { socket->disconnectFromHost(); }, Qt::QueuedConnection);
}

void TGameServer::OnDisconnected(TSession* session)
{
    const int32_t index = session->Index;
    if (TActor* actor = session->Actor) {
        actor->Dirty = true;
        try {
            SaveDirty(false);
        } catch (const std::exception& e) {
            Log(std::string("Saving failed: ") + e.what());
        }
        RemoveActor(actor->ID);
    }
    Log("Disconnected " + std::to_string(index) + " (" +
        (session->Name.isEmpty() ? session->Address : session->Name.toStdString()) + ")");
    sockets_.RemoveSocket(session->Socket);
    session->Socket->deleteLater();
    sessions_[size_t(index)].reset();
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
        if (s && s.get() != except && (s->Stage >= EStage::LoggedIn || s->PasswordTicket) && !s->Closing &&
            s->Name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void TGameServer::HandleMessage(int32_t index, uint32_t type, std::string_view payload)
{
    if (index < 1 || index >= net::MAX_SOCKETS || !sessions_[size_t(index)])
        return;
    TSession& session = *sessions_[size_t(index)];
    if (session.Closing)
        return;
    if (datagramSession_) {
        HandleDatagramMessage(session, type, payload);
        return;
    }
    HandleTcpMessage(session, type, payload);
}

void TGameServer::HandleTcpMessage(TSession& session, uint32_t type, std::string_view payload)
{
    if (session.PasswordTicket) {
        // Kept in order for when the password check has answered.
        session.DeferredBytes += payload.size() + 4;
        if (session.DeferredBytes > MaxUnframed) {
            CloseSession(session, "more than 64 KiB of messages while its password was checked");
            return;
        }
        session.Deferred.emplace_back(type, std::string(payload));
        return;
    }
    if (!Understood(session, type, payload))
        return;
    HandleHandshake(session, type, payload);
}

bool TGameServer::Understood(TSession& session, uint32_t type, std::string_view payload)
{
    const net::TMessageInfo* info = net::FindMessage(type);
    if (!info) {
        LogIgnored(session, "unknown message type " + std::to_string(type >> 24));
        return false;
    }
    if (payload.size() < info->Layout) {
        LogIgnored(session, std::string(info->Name) + " dropped: payload of " + std::to_string(payload.size()) +
                                " bytes is shorter than its layout");
        return false;
    }
    return true;
}

void TGameServer::LogIgnored(TSession& session, const std::string& line)
{
    // A flood of junk must not become a flood of console lines.
    constexpr int Cap = 8;
    if (session.IgnoredLogged > Cap)
        return;
    ++session.IgnoredLogged;
    Log("Connection " + std::to_string(session.Index) + ": " +
        (session.IgnoredLogged > Cap ? std::string("further ignored messages are not logged") : line));
}

void TGameServer::HandleHandshake(TSession& session, uint32_t type, std::string_view payload)
{
    using namespace net;
    const std::string who = std::to_string(session.Index);
    switch (type) {
    case msg::client_version:
        Log("Connection " + who + " runs client version " + std::string(payload.substr(0, 32)));
        return;
    case msg::client_protocolversion:
        if (payload != "2")
            Log("Connection " + who + " speaks protocol " + std::string(payload.substr(0, 32)));
        return;
    case msg::client_identity:
        if (payload != identity_)
            Log("Connection " + who + " has another world: " + std::string(payload.substr(0, 80)));
        SendTCP(session, msg::server_identity, identity_);
        return;
    case msg::client_name: {
        if (session.Stage != EStage::Connected)
            return;
        const QString name = QString::fromLatin1(payload.data(), qsizetype(payload.size()));
        if (!ValidName(payload)) {
            Refuse(session, msg::server_badname, {}, "invalid name");
            return;
        }
        if (NameInGame(name, &session)) {
            Refuse(session, msg::server_badname, {}, "name already in the game: " + name.toStdString());
            return;
        }
        session.Name = name;
        session.Stage = EStage::Named;
        SendTCP(session, msg::server_nameok, {});
        return;
    }
    case msg::client_password:
        if (session.Stage != EStage::Named)
            return;
        if (NameInGame(session.Name, &session)) {
            Refuse(session, msg::server_badname, {}, "name already in the game");
            return;
        }
        CheckPassword(session, payload);
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
                BroadcastState(*session.Actor);
            }
        }
        return;
    }
    case msg::client_entergame:
        if (session.Stage == EStage::LoggedIn)
            EnterGame(session);
        return;
    case msg::client_chat:
        if (session.Stage != EStage::InGame || !session.Actor)
            return;
        if (!session.Chat.Allow(platform::TickCount())) {
            Log(session.Name.toStdString() + " speaks too fast; line dropped");
            return;
        }
        Say(*session.Actor, CleanChatLine(payload));
        return;
    default:
        // Datagram messages over TCP, and server messages, are not the client's to send.
        LogIgnored(session, std::string(MessageName(type)) + " ignored on TCP");
        return;
    }
}

void TGameServer::CheckPassword(TSession& session, std::string_view password)
{
    // The database is read here, on the event loop; only the hashing moves out.
    TPasswordCheck check;
    check.Iterations = options_.HashIterations;
    try {
        std::optional<TAccount> found = accounts_->Find(session.Name, &check.Stored);
        check.NewAccount = !found;
        session.Account = found ? *found : TAccount{};
    } catch (const std::exception& e) {
        Log(std::string("Account store: ") + e.what());
        CloseSession(session, "account store failed");
        return;
    }
    // The ticket tells this check's answer from that of a connection which ended
    // meanwhile and whose table entry someone else has taken since.
    const uint64_t ticket = ++nextPasswordTicket_;
    const int32_t index = session.Index;
    session.PasswordTicket = ticket;
    ++passwordChecks_;
    passwordPool_.start([this, index, ticket, check, secret = QByteArray(password.data(), qsizetype(password.size()))] {
        QString hashed;
        const TPasswordCheck::EResult result = check.Run(secret, hashed);
        QMetaObject::invokeMethod(
            this, [this, index, ticket, result, hashed] { OnPasswordChecked(index, ticket, result, hashed); },
            Qt::QueuedConnection);
    });
}

void TGameServer::OnPasswordChecked(int32_t index, uint64_t ticket, TPasswordCheck::EResult result,
                                    const QString& hashed)
{
    --passwordChecks_;
    TSession* found = shutDown_ ? nullptr : sessions_[size_t(index)].get();
    if (!found || found->PasswordTicket != ticket)
        return;  // the connection has ended: nothing is created, nobody is answered
    TSession& session = *found;
    session.PasswordTicket = 0;
    if (session.Closing)
        return;
    const std::string who = std::to_string(session.Index);
    if (result == TPasswordCheck::EResult::Mismatch) {
        Refuse(session, net::msg::server_badpassword, {}, "bad password for " + session.Name.toStdString());
        return;
    }
    if (result == TPasswordCheck::EResult::Hashed) {
        try {
            session.Account = accounts_->Create(session.Name, hashed);
        } catch (const std::exception& e) {
            Log(std::string("Account store: ") + e.what());
            CloseSession(session, "account store failed");
            return;
        }
    }
    const TAccount& account = session.Account;
    session.AccountId = account.Id;
    session.Name = account.Name.isEmpty() ? session.Name : account.Name;
    if (std::find(characterShapes_.begin(), characterShapes_.end(), account.Shape) != characterShapes_.end()) {
        session.Shape = account.Shape;
        session.ShapeGiven = true;
    }
    session.Stage = EStage::LoggedIn;
    Log((result == TPasswordCheck::EResult::Hashed ? "New account " : "Login ") + session.Name.toStdString() +
        " on connection " + who);
    const net::TUdpPort port{session.Endpoint->localPort()};
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
    session.Stage = EStage::InGame;
    TActor& actor = AddActor(int32_t(session.AccountId), session.Shape, x, y, &session);
    actor.Lift = lift;
    actor.Facing = facing;
    session.Actor = &actor;
    Log(session.Name.toStdString() + " enters the game at (" + std::to_string(x) + ", " + std::to_string(y) + ")");

    SendTCP(session, net::msg::server_player_id, net::Payload(net::TPlayerId{actor.ID}).View());
    const net::TPlayerPos pos{actor.Facing, uint8_t(actor.Lift), uint16_t(x), uint16_t(y)};
    SendTCP(session, net::msg::server_player_pos, net::Payload(pos).View());
    SendState(session, actor);
    UpdateViews();
}

std::string AddressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return (isV4 ? QHostAddress(v4).toString() : address.toString()).toStdString();
}

}  // namespace server
