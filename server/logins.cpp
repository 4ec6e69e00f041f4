// The login handshake on the game server, in the order the client expects: welcome,
// protocol version; identity; name; password, then the UDP port of the connection.
// Names and password checks are slowed per address (handshake.h); a password is
// checked on a worker thread, one check per account at a time.
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <utility>

#include "data/world_map.h"
#include "game_server.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"

namespace server {
namespace {

void Log(const std::string& line) { platform::ConsoleLine(line); }

}  // namespace

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
    bool firstSlowed = false;
    const uint32_t due = addressBook_.NameAnswerTime(session.Address, now, options_.NamesPerAddress, firstSlowed);
    if (firstSlowed)
        Log("Names asked quickly from " + session.Address + "; its names are answered one a second");
    return due;
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
    passwords_.Push(session.Index, session.Serial);
    StartPasswordChecks();
}

void TGameServer::StartPasswordChecks()
{
    using EVerdict = TPasswordQueue::EVerdict;
    const uint32_t now = platform::TickCount();
    passwords_.Run(
        [&](int32_t index, uint64_t serial) {
            const TSession* s = SessionAt(index, serial);
            if (!s || s->Closing || s->Password != EPassword::Waiting)
                return EVerdict::Gone;
            if (addressBook_.CheckDelayed(s->Address, now) || passwords_.Checking(AccountKey(s->Name)))
                return EVerdict::Wait;
            return EVerdict::Ready;
        },
        [&](int32_t index, uint64_t serial) { StartPasswordCheck(*SessionAt(index, serial)); });
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
        // Counted now, not when the hash is done: checks started together cannot all
        // pass the limit before any of them has counted.
        const uint32_t now = platform::TickCount();
        if (!addressBook_.ReserveAccount(session.Address, now, options_.NewAccountsPerAddress)) {
            session.Password = EPassword::None;
            // Counted as a failure: otherwise this answer, given at once, would tell
            // without delay which names have no account.
            PasswordFailed(session);
            Refuse(session, net::msg::server_full, "Too many new accounts from your address. Try again later.",
                   "too many new accounts from " + session.Address);
            return;
        }
        session.AccountReserved = true;
        session.AccountReservedAt = now;
    }
    session.Password = EPassword::Checking;
    passwords_.CheckStarted(AccountKey(session.Name));
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
    addressBook_.PasswordFailed(session.Address, platform::TickCount());
}

void TGameServer::ReleaseAccountReservation(TSession& session)
{
    if (std::exchange(session.AccountReserved, false))
        addressBook_.ReleaseAccount(session.Address, session.AccountReservedAt);
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
    passwords_.CheckEnded(AccountKey(session.Name));
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
                passwords_.Push(session.Index, session.Serial);
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
