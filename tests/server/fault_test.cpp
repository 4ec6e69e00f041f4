// Faults, survived: the server killed while players play and started again; a client
// killed in the middle of the game; the client killed while it writes its
// configuration; the server killed while it writes accounts and places; a UDP path
// that loses and reorders datagrams. Processes are killed with SIGKILL. These tests
// wait on real events with generous limits and never on how fast anything is.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <signal.h>
#include <unistd.h>

#include "game_server.h"
#include "net/client_session.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/npc_list.h"
#include "net/socket_adapter.h"
#include "net/reconnect.h"
#include "platform/hive_file.h"
#include "platform/tick_count.h"
#include "support/event_wait.h"
#include "support/temp_folder.h"
#include "test_world.h"
#include "world_suite.h"

namespace {

using namespace net;

const QString Bin = QStringLiteral(VX_BINARY_DIR "/bin/");
constexpr int Patience = 30000;  // ms to wait for an event before calling it missing

bool WaitFor(const std::function<bool()>& done, int ms = Patience)
{
    return support::WaitFor(done, ms);
}

using support::Pause;

template <typename T>
T Get(std::string_view payload, size_t offset)
{
    T value{};
    if (payload.size() >= offset + sizeof value)
        std::memcpy(&value, payload.data() + offset, sizeof value);
    return value;
}

// A player as the client plays: the client's own session over Qt sockets, with its
// log lines, the actors it was told of and its own place. Connect() starts a fresh
// session, as the login window's Connect does. Datagrams may go through a relay.
class Player : private TSessionSockets {
public:
    Player(std::string name, uint16_t tcpPort) : name_(std::move(name)), tcpPort_(tcpPort)
    {
        reconnect_.SetLog([this](std::string_view line) { log_.emplace_back(line); });
        reconnectTimer_.setInterval(50);
        QObject::connect(&reconnectTimer_, &QTimer::timeout, [this] {
            if (reconnect_.Due(platform::TickCount()))
                Connect();
        });
        reconnectTimer_.start();
        retransmit_.setInterval(50);
        QObject::connect(&retransmit_, &QTimer::timeout, [this] { session_->RetransmitTimerTimer(); });
    }

    ~Player() override
    {
        // The sockets' last events must not reach a session that is gone.
        Sockets.Mute();
        reconnectTimer_.stop();
        Sockets.Abort();
    }

    // Datagrams go to this port of 127.0.0.1 instead of the server's, which `relay`
    // learns.
    void Via(uint16_t port, std::function<void(uint16_t)> relay)
    {
        viaPort_ = port;
        relay_ = std::move(relay);
    }

    void Connect(uint16_t tcpPort = 0)
    {
        if (tcpPort)
            tcpPort_ = tcpPort;
        retransmit_.stop();
        Sockets.Abort();
        Sockets.CloseUdp();
        table_ = std::make_unique<TSocketTable>();
        actors_ = std::make_unique<TNPCList>();
        timer_ = std::make_unique<TGameTimer>();
        speech_ = std::make_unique<TSpeechHistory>();
        TClientSessionHost& host = *this;
        session_ = std::make_unique<TClientSession>(host, *actors_, *timer_, *speech_, *table_, Sockets.Endpoint());
        Attach(session_.get());
        TLoginChoices login;
        login.CharacterName = name_;
        // vxbot's passwords, so that a player can take over a bot's account.
        login.CharacterPassword = "pw-" + QString::fromStdString(name_).toLower().toStdString();
        login.CharacterShape = servertest::CharacterShape;
        login.WorldIdentity = servertest::Identity;
        login.LocalUDPPort = "0";
        session_->SetLogin(login);
        session_->ClearEntered();
        entered_ = closed_ = refused_ = false;
        id_ = 0;
        x_ = y_ = 0;
        Sockets.Connect(QStringLiteral("127.0.0.1"), tcpPort_);
    }
    void Kill() { Sockets.Abort(); }
    // The connection window's "Auto reconnect" box: lost connections are tried again
    // on its schedule (1 s, 2 s, 4 s, ...).
    void AutoReconnect(bool on) { reconnect_.SetAuto(on, platform::TickCount()); }
    int TimesEntered() const { return timesEntered_; }

    bool Entered() const { return entered_; }
    bool Closed() const { return closed_; }
    // The server refused the login (the session closes the connection then) or the
    // connection could not be made.
    bool Refused() const { return refused_ || (closed_ && !entered_); }
    bool HasLine(const std::string& line) const { return std::count(log_.begin(), log_.end(), line) > 0; }
    const std::vector<std::string>& Log() const { return log_; }
    int32_t Id() const { return id_; }
    // Where the server put this player at entering.
    uint16_t X() const { return x_; }
    uint16_t Y() const { return y_; }
    // The latest state the server sent of an actor: (x, y, moving); false when none.
    bool StateOf(int32_t id, uint16_t& x, uint16_t& y, bool& moving) const
    {
        const auto it = states_.find(id);
        if (it == states_.end())
            return false;
        x = Get<uint16_t>(it->second, 6);
        y = Get<uint16_t>(it->second, 8);
        moving = (Get<uint8_t>(it->second, 12) & 1) != 0;
        return true;
    }
    const std::set<int32_t>& Added() const { return added_; }
    const std::set<int32_t>& Removed() const { return removed_; }
    int Beats() const { return beats_; }
    TClientSession& Session() { return *session_; }

private:
    // A socket error other than a refusal (which ends in the session) that leaves the
    // socket closed ends the attempt here.
    void SocketErrorLeft(int, const QString&) override
    {
        if (Sockets.TcpState() == QAbstractSocket::UnconnectedState)
            reconnect_.Ended(false, platform::TickCount());
    }
    void SetUDPRemote(std::string_view, uint16_t port) override
    {
        udpPort_ = port;
        if (relay_)
            relay_(port);
    }
    void SendDatagram(std::string_view bytes) override
    {
        Sockets.SendTo(bytes, QHostAddress::LocalHost, viaPort_ ? viaPort_ : udpPort_);
    }
    void AddLogLine(std::string_view line) override { log_.emplace_back(line); }
    void LoadWorldData() override {}
    void StartRetransmitTimer() override { retransmit_.start(); }
    void EnterGame() override
    {
        entered_ = true;
        ++timesEntered_;
        reconnect_.Entered();
    }
    void ConnectionClosed() override
    {
        closed_ = true;
        retransmit_.stop();
        reconnect_.Ended(session_->Refused(), platform::TickCount());
    }
    void ConnectionRefused() override
    {
        refused_ = true;
        reconnect_.Ended(false, platform::TickCount());
    }
    void MessageHandled(uint32_t type, std::string_view payload) override
    {
        switch (type) {
        case msg::server_player_id: id_ = Get<int32_t>(payload, 0); break;
        case msg::server_player_pos:
            x_ = Get<uint16_t>(payload, 2);
            y_ = Get<uint16_t>(payload, 4);
            break;
        case msg::server_npc_add: added_.insert(Get<int32_t>(payload, 0)); break;
        case msg::server_npc_remove: removed_.insert(Get<int32_t>(payload, 0)); break;
        case msg::server_npc_state: states_[Get<int32_t>(payload, 0)] = std::string(payload); break;
        case msg::server_beat: ++beats_; break;
        default: break;
        }
    }

    std::string name_;
    uint16_t tcpPort_;
    uint16_t udpPort_ = 0;
    uint16_t viaPort_ = 0;
    std::function<void(uint16_t)> relay_;
    QTimer retransmit_;
    std::unique_ptr<TSocketTable> table_;
    std::unique_ptr<TNPCList> actors_;
    std::unique_ptr<TGameTimer> timer_;
    std::unique_ptr<TSpeechHistory> speech_;
    std::unique_ptr<TClientSession> session_;
    TReconnect reconnect_;
    QTimer reconnectTimer_;
    int timesEntered_ = 0;
    std::vector<std::string> log_;
    bool entered_ = false, closed_ = false, refused_ = false;
    int32_t id_ = 0;
    uint16_t x_ = 0, y_ = 0;
    std::set<int32_t> added_, removed_;
    std::map<int32_t, std::string> states_;
    int beats_ = 0;
};

// vxserver as a process on 127.0.0.1 with its SQLite database in `data`.
class ServerProcess {
public:
    ServerProcess(std::string world, std::string data) : world_(std::move(world)), data_(std::move(data)) {}
    ~ServerProcess() { Kill(); }

    // Starts on free ports, or on `tcpPort`; false when it does not listen.
    bool Start(uint16_t tcpPort = 0)
    {
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(process_.get(), &QProcess::readyRead, [this] { log_ += QString::fromUtf8(process_->readAll()); });
        process_->start(Bin + QStringLiteral("vxserver"),
                        {QStringLiteral("--game"), QString::fromStdString(world_), QStringLiteral("--data"),
                         QString::fromStdString(data_), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--tcp-port"), QString::number(tcpPort), QStringLiteral("--udp-port"),
                         QStringLiteral("0"), QStringLiteral("--npcs"), QStringLiteral("0"),
                         QStringLiteral("--max-pending-per-address"), QStringLiteral("63"),
                         QStringLiteral("--max-connections-per-address"), QStringLiteral("63"),
                         QStringLiteral("--names-per-address"), QStringLiteral("100000"),
                         QStringLiteral("--new-accounts-per-minute"), QStringLiteral("100000")});
        const qsizetype from = log_.size();
        if (!WaitFor([&] { return log_.indexOf(QStringLiteral("Listening on"), from) >= 0 ||
                                  process_->state() == QProcess::NotRunning; }))
            return false;
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("TCP port (\\d+)")).match(log_, from);
        if (!m.hasMatch())
            return false;
        port_ = uint16_t(m.captured(1).toUInt());
        return true;
    }
    void Kill()
    {
        if (process_ && process_->state() != QProcess::NotRunning) {
            process_->kill();  // SIGKILL
            process_->waitForFinished(10000);
            log_ += QString::fromUtf8(process_->readAll());
        }
    }
    bool WaitForLog(const QString& text, int count = 1)
    {
        return WaitFor([&] { return log_.count(text) >= count; });
    }
    const QString& Log() const { return log_; }
    uint16_t Port() const { return port_; }

private:
    std::string world_, data_;
    std::unique_ptr<QProcess> process_;
    QString log_;
    uint16_t port_ = 0;
};

class Faults : public servertest::WorldSuite {
protected:
    support::TempFolder data{"fault_data"};
};

// A read-only look at the server's SQLite database while it runs (WAL lets it).
class DatabaseLook {
public:
    explicit DatabaseLook(const std::string& folder, const QString& name = QStringLiteral("look"))
        : name_(name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(QString::fromStdString(folder) + QStringLiteral("vxserver.db"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        open_ = db.open();
    }
    ~DatabaseLook() { QSqlDatabase::removeDatabase(name_); }
    bool Open() const { return open_; }
    // One row of one query, as text; empty when there is none.
    QString One(const QString& sql) const
    {
        QSqlQuery query(QSqlDatabase::database(name_));
        if (!query.exec(sql) || !query.next())
            return {};
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i)
            values << query.value(i).toString();
        return values.join(QLatin1Char(','));
    }
    QStringList Column(const QString& sql) const
    {
        QStringList values;
        QSqlQuery query(QSqlDatabase::database(name_));
        if (query.exec(sql))
            while (query.next())
                values << query.value(0).toString();
        return values;
    }

private:
    QString name_;
    bool open_ = false;
};

TEST_F(Faults, ServerKilledWhilePlayingThenBackKeepsAccountsAndPlaces)
{
    ServerProcess server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start()) << server.Log().toStdString();
    std::vector<std::unique_ptr<Player>> players;
    for (const char* name : {"Arin", "Bela", "Cato"}) {
        players.push_back(std::make_unique<Player>(name, server.Port()));
        players.back()->Connect();
    }
    for (auto& p : players)
        ASSERT_TRUE(WaitFor([&] { return p->Entered() && p->X() != 0; })) << server.Log().toStdString();

    // Each walks a different way and stops; the server saves where they stopped.
    const uint8_t keys[] = {VK_UP, VK_LEFT, VK_DOWN};
    for (size_t i = 0; i < players.size(); ++i)
        players[i]->Session().KeyPressed(keys[i]);
    for (size_t i = 0; i < players.size(); ++i)
        ASSERT_TRUE(WaitFor([&] { return players[i]->Session().Channel().DownAcked(keys[i]); }));
    Pause(600);
    for (size_t i = 0; i < players.size(); ++i)
        players[i]->Session().KeyReleased(keys[i]);
    std::vector<std::pair<uint16_t, uint16_t>> stopped(players.size());
    for (size_t i = 0; i < players.size(); ++i) {
        Player& p = *players[i];
        ASSERT_TRUE(WaitFor([&] {
            uint16_t x, y;
            bool moving = true;
            return p.Session().Channel().UpAcked(keys[i]) && p.StateOf(p.Id(), x, y, moving) && !moving;
        }));
        bool moving = false;
        p.StateOf(p.Id(), stopped[i].first, stopped[i].second, moving);
        EXPECT_NE(stopped[i], std::make_pair(p.X(), p.Y())) << "player " << i << " did not move";
    }
    {
        DatabaseLook look(data.Path());
        ASSERT_TRUE(look.Open());
        for (size_t i = 0; i < players.size(); ++i)
            EXPECT_TRUE(WaitFor([&] {
                return look.One(QStringLiteral("SELECT x, y FROM accounts WHERE id = %1").arg(players[i]->Id())) ==
                       QStringLiteral("%1,%2").arg(stopped[i].first).arg(stopped[i].second);
            })) << "the place of player " << i << " was not saved";
    }

    for (auto& p : players)
        p->AutoReconnect(true);
    server.Kill();
    for (auto& p : players) {
        EXPECT_TRUE(WaitFor([&] { return p->Closed(); }));
        EXPECT_TRUE(p->HasLine("TCP Disconnected."));
    }
    // The first tries find nobody listening ...
    EXPECT_TRUE(WaitFor([&] {
        return std::all_of(players.begin(), players.end(), [](const auto& p) { return p->Refused(); });
    }));

    // ... until the server is back on its port: the players' next tries log them in,
    // into the accounts and places they had (the marks the killed server left are
    // its own, cleared at its start).
    ASSERT_TRUE(server.Start(server.Port())) << server.Log().toStdString();
    for (size_t i = 0; i < players.size(); ++i) {
        Player& p = *players[i];
        // Entered once the beat round trip is done; placed when the server's answer to
        // client_entergame is in.
        ASSERT_TRUE(WaitFor([&] { return p.TimesEntered() == 2 && p.X() != 0; }, 2 * Patience))
            << server.Log().toStdString();
        EXPECT_EQ(std::make_pair(p.X(), p.Y()), stopped[i]) << "player " << i;
    }
    EXPECT_EQ(server.Log().count(QStringLiteral("New account")), 3);  // the first time only
    EXPECT_EQ(server.Log().count(QStringLiteral("Login ")), 3);
}

TEST_F(Faults, ClientKilledMidGameIsFreedAndTheOthersAreTold)
{
    ServerProcess server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start()) << server.Log().toStdString();
    Player watcher("Watcher", server.Port());
    watcher.Connect();
    ASSERT_TRUE(WaitFor([&] { return watcher.Entered(); }));

    QProcess bot;
    bot.setProcessChannelMode(QProcess::MergedChannels);
    bot.start(Bin + QStringLiteral("vxbot"),
              {QStringLiteral("--tcp-port"), QString::number(server.Port()), QStringLiteral("--count"),
               QStringLiteral("1"), QStringLiteral("--duration"), QStringLiteral("120"), QStringLiteral("--identity"),
               QString::fromLatin1(servertest::Identity)});
    ASSERT_TRUE(server.WaitForLog(QStringLiteral("Bot001 enters the game")));
    // The watcher sees the bot (both start in town).
    ASSERT_TRUE(WaitFor([&] { return watcher.Added().size() == 1; }));
    const int32_t botId = *watcher.Added().begin();

    bot.kill();  // SIGKILL: the system closes its connection, nothing says goodbye
    bot.waitForFinished(10000);
    EXPECT_TRUE(server.WaitForLog(QStringLiteral("(Bot001)")));  // "Disconnected N (Bot001)"
    EXPECT_TRUE(WaitFor([&] { return watcher.Removed().count(botId) == 1; }));
    EXPECT_FALSE(watcher.Closed());

    // Its entry is free: the same name logs in again at once.
    Player again("Bot001", server.Port());
    again.Connect();
    EXPECT_TRUE(WaitFor([&] { return again.Entered() || again.Refused(); }));
    EXPECT_FALSE(again.Refused()) << server.Log().toStdString();
}

TEST_F(Faults, ServerKilledDuringWritesLosesNoAccountAndLeavesASoundDatabase)
{
    std::mt19937 rng(15);
    QStringList created;  // names whose creation the server reported before it died
    uint16_t port = 0;    // each start on the port of the first, as a real server is
    for (int round = 1; round <= 4; ++round) {
        ServerProcess server(world->Path(), data.Path());
        ASSERT_TRUE(server.Start(port)) << server.Log().toStdString();
        port = server.Port();
        // New accounts (Bot001 ... up to 12 a round) log in and walk; their places are
        // written every two seconds. The kill comes at a moment the seed picks.
        QProcess bots;
        bots.setProcessChannelMode(QProcess::MergedChannels);
        bots.start(Bin + QStringLiteral("vxbot"),
                   {QStringLiteral("--tcp-port"), QString::number(server.Port()), QStringLiteral("--count"),
                    QString::number(12 * round), QStringLiteral("--duration"), QStringLiteral("60"),
                    QStringLiteral("--identity"), QString::fromLatin1(servertest::Identity)});
        ASSERT_TRUE(server.WaitForLog(QStringLiteral(" enters the game at ")));
        Pause(std::uniform_int_distribution<int>(100, 3000)(rng));
        server.Kill();
        bots.kill();
        bots.waitForFinished(10000);
        const QRegularExpression made(QStringLiteral("New account (Bot\\d+) on connection"));
        for (auto it = made.globalMatch(server.Log()); it.hasNext();)
            created << it.next().captured(1);

        DatabaseLook look(data.Path(), QStringLiteral("round%1").arg(round));
        ASSERT_TRUE(look.Open());
        EXPECT_EQ(look.One(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok")) << "round " << round;
        const QStringList stored = look.Column(QStringLiteral("SELECT name FROM accounts"));
        for (const QString& name : created)
            EXPECT_TRUE(stored.contains(name)) << name.toStdString() << " lost in round " << round;
    }
    EXPECT_GT(created.size(), 12) << "too few accounts were made to tell anything";
    if (!HasFailure())
        std::printf("server killed 4 times while writing: %lld accounts reported created, all found; integrity ok\n",
                    (long long)created.size());

    // The database serves the next start: an old account logs in with its password.
    ServerProcess server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start(port)) << server.Log().toStdString();
    Player bot("Bot001", server.Port());
    bot.Connect();
    ASSERT_TRUE(WaitFor([&] { return bot.Entered() || bot.Refused(); }));
    EXPECT_TRUE(bot.Entered());
    EXPECT_TRUE(server.Log().contains(QStringLiteral("Login Bot001 on connection")));
}

// A UDP path on 127.0.0.1 between a client and the server that loses a share of the
// datagrams both ways and sends some later than the one after them. Its choices come
// from a seeded generator.
class LossyRelay {
public:
    LossyRelay(uint32_t seed, double loss, double reorder)
        : rng_(seed), loss_(loss), reorder_(reorder), front_(frontSide_), back_(backSide_)
    {
        front_.Bind(0);
        back_.Bind(0);
    }
    uint16_t FrontPort() const { return front_.LocalPort(); }
    void SetServerPort(uint16_t port) { serverPort_ = port; }
    int Dropped(bool toServer) const { return dropped_[toServer]; }
    int Reordered() const { return reordered_; }

private:
    // Each side's datagrams, the client's and the server's.
    struct Side : net::TSocketEvents {
        Side(LossyRelay& relay, bool toServer) : Relay(relay), ToServer(toServer) {}
        void DatagramRead(std::string_view, uint16_t fromPort, std::string_view bytes) override
        {
            if (ToServer)
                Relay.clientPort_ = fromPort;
            Relay.Pass(std::string(bytes), ToServer);
        }
        LossyRelay& Relay;
        bool ToServer;
    };

    void Pass(const std::string& datagram, bool toServer)
    {
        std::uniform_real_distribution<double> roll(0.0, 1.0);
        // The very first datagram (the client's UDP port) is always one of the lost.
        if (roll(rng_) < loss_ || (toServer && passed_++ == 0)) {
            ++dropped_[toServer];
            return;
        }
        Held& held = held_[toServer];
        if (!held.Waiting && roll(rng_) < reorder_) {
            // Kept back until the next datagram of this direction has gone, or 120 ms: longer
            // than the 50 ms between retransmissions, so a held one is usually overtaken.
            held.Waiting = true;
            held.Datagram = datagram;
            QTimer::singleShot(120, [this, toServer] { Release(toServer); });
            return;
        }
        Send(datagram, toServer);
        if (held.Waiting) {
            ++reordered_;
            Release(toServer);
        }
    }
    void Release(bool toServer)
    {
        Held& held = held_[toServer];
        if (!held.Waiting)
            return;
        held.Waiting = false;
        Send(held.Datagram, toServer);
    }
    void Send(const std::string& datagram, bool toServer)
    {
        if (toServer)
            back_.SendTo(datagram, QHostAddress::LocalHost, serverPort_);
        else
            front_.SendTo(datagram, QHostAddress::LocalHost, clientPort_);
    }

    struct Held {
        bool Waiting = false;
        std::string Datagram;
    };
    std::mt19937 rng_;
    double loss_, reorder_;
    Side frontSide_{*this, true}, backSide_{*this, false};
    net::TSocketAdapter front_, back_;  // the client's side, the server's side
    uint16_t clientPort_ = 0, serverPort_ = 0;
    Held held_[2];
    int dropped_[2] = {0, 0};
    int reordered_ = 0;
    int passed_ = 0;
};

TEST_F(Faults, LossyReorderingUdpPathStillEntersWalksAndStops)
{
    server::TGameServer game(LoopbackOptions(data.Path()));
    ASSERT_TRUE(game.Start());

    LossyRelay relay(30, 0.30, 0.15);
    Player walker("Walker", game.TcpPort());
    walker.Via(relay.FrontPort(), [&](uint16_t port) { relay.SetServerPort(port); });
    walker.Connect();
    // Entering needs the UDP port announced (its first announcement is lost) and a
    // whole beat round trip, all through the lossy path.
    ASSERT_TRUE(WaitFor([&] { return walker.Entered(); })) << walker.Log().back();
    const server::TActor* actor = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (actor = game.FindPlayer(QStringLiteral("Walker"))) != nullptr; }));

    const uint8_t keys[] = {VK_UP, VK_LEFT, VK_DOWN, VK_RIGHT, VK_UP, VK_DOWN, VK_LEFT, VK_UP};
    const int beatsBefore = walker.Beats();
    for (const uint8_t key : keys) {
        walker.Session().KeyPressed(key);
        ASSERT_TRUE(WaitFor([&] { return walker.Session().Channel().DownAcked(key); })) << int(key);
        ASSERT_TRUE(WaitFor([&] { return actor->Motion.Moving(); })) << int(key);
        Pause(300);
        walker.Session().KeyReleased(key);
        ASSERT_TRUE(WaitFor([&] { return walker.Session().Channel().UpAcked(key); })) << int(key);
        // The release reached the server: its player stops, and stays stopped.
        ASSERT_TRUE(WaitFor([&] { return !actor->Motion.Moving(); })) << int(key);
        const uint16_t x = actor->Motion.X(), y = actor->Motion.Y();
        Pause(300);
        EXPECT_FALSE(actor->Motion.Moving());
        EXPECT_EQ(actor->Motion.X(), x);
        EXPECT_EQ(actor->Motion.Y(), y);
    }
    // Beats kept coming and being answered through it all.
    EXPECT_TRUE(WaitFor([&] { return walker.Beats() >= beatsBefore + 2; }));
    EXPECT_GT(walker.Session().Channel().Retransmissions(), 0u);
    EXPECT_GT(relay.Dropped(true), 0);
    EXPECT_GT(relay.Dropped(false), 0);
    EXPECT_GT(relay.Reordered(), 0);
    std::printf("lossy path: %d datagrams dropped towards the server, %d towards the client, %d reordered; "
                "%llu key records sent again\n",
                relay.Dropped(true), relay.Dropped(false), relay.Reordered(),
                (unsigned long long)walker.Session().Channel().Retransmissions());
}

// The child of the next test: writes the configuration file over and over, each time
// one consistent set of values, and says so on standard output after each write.
int WriteConfigurationForever(const std::string& path, uint32_t first)
{
    platform::FileConfigHive hive(path);
    for (uint32_t round = first;; ++round) {
        hive.BeginUpdate();
        hive.OpenKey("\\Software\\VxaClient", true);
        hive.WriteDword("Round", round);
        hive.WriteString("LastIP", "10.0." + std::to_string(round % 256) + "." + std::to_string(round % 200));
        hive.WriteString("Fill", std::string(60000 + round % 4000, char('a' + round % 26)));
        hive.CloseKey();
        hive.EndUpdate();
        std::printf("%u\n", round);
        std::fflush(stdout);
    }
}

TEST_F(Faults, ClientKilledWhileWritingItsConfigurationNeverDamagesIt)
{
    const std::string path = data.Path() + "user.reg";
    {
        // What another part of the client wrote before: it must outlive every kill.
        platform::FileConfigHive hive(path);
        hive.OpenKey("\\Software\\VxaClient\\Worlds", true);
        hive.WriteDword("Count", 1);
        hive.WriteString("1", "Embervale");
        hive.CloseKey();
    }
    std::mt19937 rng(4);
    std::set<uint32_t> seen;
    std::string litter;
    for (int kill = 0; kill < 25; ++kill) {
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--write-configuration-forever"), QString::fromStdString(path),
                      QString::number(1 + kill * 100000)});
        ASSERT_TRUE(writer.waitForReadyRead(Patience)) << "the writer did not start";
        // Somewhere in a write, or between two.
        QThread::usleep(std::uniform_int_distribution<int>(0, 20000)(rng));
        const auto pid = pid_t(writer.processId());
        ::kill(pid, SIGKILL);
        writer.waitForFinished(10000);
        if (kill == 0) {
            // As a writer killed right in its write leaves it, whether or not this one did.
            litter = path + ".tmp" + std::to_string(pid);
            std::FILE* f = std::fopen(litter.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fputs("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vx", f);
            std::fclose(f);
        }

        platform::FileConfigHive hive(path);
        try {
            ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient", false)) << "kill " << kill;
            const auto round = hive.ReadValue("Round");
            const auto ip = hive.ReadValue("LastIP");
            const auto fill = hive.ReadValue("Fill");
            ASSERT_TRUE(round && ip && fill) << "kill " << kill;
            const uint32_t r = round->number;
            EXPECT_EQ(ip->text, "10.0." + std::to_string(r % 256) + "." + std::to_string(r % 200));
            EXPECT_EQ(fill->text, std::string(60000 + r % 4000, char('a' + r % 26)));
            seen.insert(r);
            hive.CloseKey();
            ASSERT_TRUE(hive.OpenKey("\\Software\\VxaClient\\Worlds", false));
            EXPECT_EQ(hive.ReadValue("Count")->number, 1u);
            EXPECT_EQ(hive.ReadValue("1")->text, "Embervale");
            hive.CloseKey();
        } catch (const std::exception& e) {
            FAIL() << "kill " << kill << ": " << e.what();
        }
    }
    EXPECT_EQ(seen.size(), 25u) << "some writers were killed before their first write had lasted";
    // A write clears what writers killed before it left behind: the last one's at most.
    int temporaries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data.Path()))
        temporaries += entry.path().filename().string().rfind("user.reg.tmp", 0) == 0;
    EXPECT_LE(temporaries, 1);
    EXPECT_FALSE(std::filesystem::exists(litter));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--write-configuration-forever") == 0)
        return WriteConfigurationForever(argv[2], uint32_t(std::strtoul(argv[3], nullptr, 10)));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
