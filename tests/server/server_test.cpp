// The server against a scripted client over loopback: the handshake and its
// refusals, beats, key acknowledgements, walls, chat in and out of view, accounts
// across a restart and hostile input. Time is the fake clock; the test calls the
// server's Tick after moving it.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "accounts.h"
#include "game_server.h"
#include "net/client_session.h"
#include "net/game_channel.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/socket_adapter.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "stop_signals.h"
#include "work_queue.h"
#include "support/temp_folder.h"
#include "test_world.h"
#include "world_suite.h"

namespace {

using namespace net;

constexpr int Patience = 10000;  // ms of real time to wait for a reply

struct Message {
    uint32_t Type;
    std::string Payload;
    bool Udp;
};

template <typename T>
T Get(const std::string& payload, size_t offset)
{
    T value{};
    if (payload.size() >= offset + sizeof value)
        std::memcpy(&value, payload.data() + offset, sizeof value);
    return value;
}

std::string Payload5(uint8_t b, uint32_t w)
{
    return std::string(Payload(TBeat{b, w}).View());
}

// A movement record numbered as the client numbers them: each one the next sequence,
// wrapping; `sequence` >= 0 gives it one of its own.
std::string Move(uint8_t code, uint32_t keyTime, uint16_t tx = 0, uint16_t ty = 0, int sequence = -1)
{
    static uint8_t next = 0;
    return std::string(Payload(TMoveRecord{uint8_t(sequence < 0 ? ++next : sequence), code, tx, ty, keyTime}).View());
}

// A client that records everything it receives. Its handshake and entering run on
// the client's own session: Name, Login and Enter hand the server's messages, in
// their turn, to TClientSession::HandleServerMessage, which answers as the client
// does. Everything else the tests send by hand, to script exact key times, strays
// and hostile bytes.
class ScriptedClient : private TClientSessionHost, private TSocketEvents {
public:
    explicit ScriptedClient(uint16_t port)
    {
        TLoginChoices login;
        login.WorldIdentity = servertest::Identity;
        login.LocalUDPPort = "0";
        session.SetLogin(login);
        format.SetHandler([this](int32_t, uint32_t type, std::string_view payload) {
            got.push_back({type, std::string(payload), readingUdp});
        });
        sockets.Connect(QStringLiteral("127.0.0.1"), port);
        connected = sockets.Tcp()->waitForConnected(Patience);
        if (connected) {
            session.InSocketConnect(sockets.Tcp(), "127.0.0.1", sockets.Tcp()->peerPort());
            index = table.FindSocket("127.0.0.1", sockets.Tcp()->peerPort());
        }
    }

    void Send(uint32_t type, std::string_view payload)
    {
        sockets.Write(TVxProtocolFormat::MakeMessage(type, payload));
    }
    void SendRaw(const std::string& bytes) { sockets.Write(bytes); }
    void SendUdp(uint32_t type, std::string_view payload, TSocketAdapter* from = nullptr)
    {
        (from ? from : &sockets)->SendTo(TVxProtocolFormat::MakeMessage(type, payload), QHostAddress::LocalHost,
                                         serverUdpPort);
    }

    int Count(uint32_t type) const
    {
        int n = 0;
        for (const Message& m : got)
            n += m.Type == type;
        return n;
    }
    // Waits until `n` messages of the type have arrived in all; the last of them.
    const Message* WaitFor(uint32_t type, int n = 1)
    {
        (void)QTest::qWaitFor([&] { return Count(type) >= n; }, Patience);
        const Message* last = nullptr;
        for (const Message& m : got)
            if (m.Type == type)
                last = &m;
        return Count(type) >= n ? last : nullptr;
    }
    // Waits for a message of the type and hands the latest one to the session, which
    // answers it as the client does; false when none came.
    bool Answer(uint32_t type)
    {
        const Message* m = WaitFor(type);
        if (!m)
            return false;
        const Message copy = *m;  // the session's answers may add to `got`
        session.HandleServerMessage(index, copy.Type, copy.Payload);
        return true;
    }
    bool WaitClosed()
    {
        return QTest::qWaitFor([&] { return sockets.TcpState() == QAbstractSocket::UnconnectedState; }, Patience);
    }
    // Runs the handshake up to server_nameok; true when it came.
    bool Name(const std::string& name)
    {
        TLoginChoices login = session.Login();
        login.CharacterName = name;
        session.SetLogin(login);
        if (!Answer(msg::server_protocolversion) || !Answer(msg::server_identity))
            return false;
        return QTest::qWaitFor([&] { return Count(msg::server_nameok) || Count(msg::server_badname); }, Patience) &&
               !Count(msg::server_badname);
    }
    // Runs the handshake up to server_udpport; true when it came.
    bool Login(const std::string& name, const std::string& password)
    {
        TLoginChoices login = session.Login();
        login.CharacterPassword = password;
        session.SetLogin(login);
        if (!Name(name) || !Answer(msg::server_nameok))
            return false;
        if (!QTest::qWaitFor([&] { return Count(msg::server_udpport) || Count(msg::server_badpassword); },
                             Patience) ||
            !Count(msg::server_udpport))
            return false;
        serverUdpPort = Get<uint16_t>(WaitFor(msg::server_udpport)->Payload, 0);
        sockets.Bind(0, QHostAddress::LocalHost);
        return true;
    }
    // The session accepts the login (shape, UDP port), answers the latest beat and
    // enters the game.
    bool Enter(uint16_t shape = servertest::CharacterShape)
    {
        TLoginChoices login = session.Login();
        login.CharacterShape = shape;
        session.SetLogin(login);
        if (!Answer(msg::server_udpport) || !Answer(msg::server_beat) || !Answer(msg::server_beatackack))
            return false;
        if (!entered || !WaitFor(msg::server_player_pos))
            return false;
        id = Get<int32_t>(WaitFor(msg::server_player_id)->Payload, 0);
        return true;
    }
    // Where the first message of a type stands among all received; -1 when absent.
    int Position(uint32_t type) const
    {
        for (size_t i = 0; i < got.size(); ++i)
            if (got[i].Type == type)
                return int(i);
        return -1;
    }
    // Waits for a state of the actor whose moving flag is as given; the latest state.
    const Message* WaitForState(int32_t actor, bool moving)
    {
        (void)QTest::qWaitFor(
            [&] {
                const Message* s = LastState(actor);
                return s && (Get<uint8_t>(s->Payload, 12) & 1) == moving;
            },
            Patience);
        return LastState(actor);
    }
    // The latest state the client holds of an actor.
    const Message* LastState(int32_t actor) const
    {
        const Message* last = nullptr;
        for (const Message& m : got)
            if (m.Type == msg::server_npc_state && Get<int32_t>(m.Payload, 0) == actor)
                last = &m;
        return last;
    }

    TSocketAdapter sockets{*this};
    TSocketTable table;
    TVxProtocolFormat format{table};
    TReceiveBuffer in;
    std::vector<Message> got;
    bool readingUdp = false;
    bool connected = false;
    bool entered = false;
    uint16_t serverUdpPort = 0;
    int32_t id = 0;
    int32_t index = NoSocket;

private:
    // The sockets' events: everything received is recorded; datagrams pass the
    // client's own sender check first.
    void TcpRead(std::string_view bytes) override
    {
        in.Append(bytes.data(), bytes.size());
        format.ProcessStream("127.0.0.1", sockets.Tcp()->peerPort(), in);
    }
    void DatagramRead(std::string_view from, uint16_t fromPort, std::string_view bytes) override
    {
        readingUdp = true;
        TGameChannel::InUDPDataReceived(format, table, sockets.Endpoint(), from, fromPort, bytes);
        readingUdp = false;
    }

    // The session's host: the sockets above.
    void WriteTCP(std::string_view bytes) override { sockets.Write(bytes); }
    bool TCPActive() const override { return sockets.Connected(); }
    void CloseTCP() override { sockets.Close(); }
    bool BindUDP(uint16_t localPort) override
    {
        return sockets.LocalPort() != 0 || sockets.Bind(localPort, QHostAddress::LocalHost);
    }
    uint16_t UDPLocalPort() const override { return sockets.LocalPort(); }
    void SetUDPRemote(std::string_view host, uint16_t port) override { sockets.SetRemote(host, port); }
    void SendDatagram(std::string_view bytes) override { sockets.Send(bytes); }
    void AddLogLine(std::string_view line) override { log.emplace_back(line); }
    void LoadWorldData() override {}
    void StartRetransmitTimer() override {}
    void EnterGame() override { entered = true; }
    void ConnectionClosed() override {}
    void ConnectionRefused() override {}

public:
    std::vector<std::string> log;  // the session's log lines
    TNPCList actors;
    TGameTimer timer;
    TSpeechHistory speech;
    TClientSession session{*this, actors, timer, speech, table, sockets.Endpoint()};
};

class Server : public servertest::WorldSuite {
protected:
    void SetUp() override { StartServer(); }

    void StartServer()
    {
        server::TServerOptions options = LoopbackOptions(data.Path());
        options.PasswordCost = passwordCost;
        options.Welcome = welcome;
        // Every client of these tests comes from 127.0.0.1.
        options.MaxPendingPerAddress = 63;
        options.NewAccountsPerAddress = 1000;
        game = std::make_unique<server::TGameServer>(options);
        ASSERT_TRUE(game->Start());
    }

    std::unique_ptr<ScriptedClient> Client()
    {
        auto client = std::make_unique<ScriptedClient>(game->TcpPort());
        EXPECT_TRUE(client->connected);
        return client;
    }
    std::unique_ptr<ScriptedClient> Player(const std::string& name)
    {
        auto client = Client();
        EXPECT_TRUE(client->Login(name, "pw-" + name)) << name;
        EXPECT_TRUE(client->Enter()) << name;
        // The client's own handshake ran: its log ends as a player's does.
        EXPECT_EQ(client->log.empty() ? std::string() : client->log.back(), "OK, Entering game.") << name;
        return client;
    }
    // Moves the fake clock in 50 ms steps, ticking the server, and lets messages flow.
    void Run(uint32_t ms)
    {
        for (uint32_t t = 0; t < ms; t += 50) {
            clock.Advance(50);
            game->Tick();
        }
        QTest::qWait(30);
    }

    // A new server whose password hashing takes long enough (a few hundred ms) to
    // act while it runs.
    void RestartWithSlowHashing()
    {
        game.reset();
        passwordCost = {4, size_t(64) << 20};
        StartServer();
    }

    server::TPasswordCost passwordCost = server::CheapPasswordCost;
    QString welcome = QStringLiteral("Welcome.");
    platform::FakeClock clock{5'000'000};
    support::TempFolder data{"server_data"};
    std::unique_ptr<server::TGameServer> game;
};

TEST_F(Server, HandshakeRunsInTheClientsOrderAndRefusesBadNames)
{
    auto client = Client();
    ASSERT_TRUE(client->WaitFor(msg::server_protocolversion));
    ASSERT_GE(client->got.size(), 2u);
    EXPECT_EQ(client->got[0].Type, msg::server_welcome);
    EXPECT_EQ(client->got[1].Payload, "2");
    client->Send(msg::client_identity, "ANOTHER WORLD");
    const Message* identity = client->WaitFor(msg::server_identity);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->Payload, servertest::Identity);

    for (const std::string& bad : {std::string(), std::string(48, 'a'), std::string("Tab\tName"),
                                  std::string("C1\x85"), std::string("Victim "), std::string(" Victim"),
                                  std::string("   ")}) {
        auto refused = Client();
        ASSERT_TRUE(refused->WaitFor(msg::server_protocolversion));
        refused->Send(msg::client_name, bad);
        EXPECT_TRUE(refused->WaitFor(msg::server_badname)) << bad;
        EXPECT_TRUE(refused->WaitClosed()) << bad;
    }

    auto first = Client();
    ASSERT_TRUE(first->Login("Aldo", "secret"));
    auto twin = Client();  // the same name, in other letter case, while Aldo plays
    EXPECT_FALSE(twin->Login("aldo", "secret"));
    EXPECT_EQ(twin->Count(msg::server_badname), 1);
    EXPECT_TRUE(twin->WaitClosed());

    first->sockets.Close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() == 1; }, Patience));
    auto wrong = Client();
    EXPECT_FALSE(wrong->Login("Aldo", "guess"));
    EXPECT_EQ(wrong->Count(msg::server_badpassword), 1);
    EXPECT_TRUE(wrong->WaitClosed());
    auto right = Client();
    EXPECT_TRUE(right->Login("ALDO", "secret"));
}

TEST_F(Server, SixtyFourthConnectionIsRefusedAsFull)
{
    // Logged in: a connection before login would give its place to a new one.
    std::vector<std::unique_ptr<ScriptedClient>> clients;
    for (int i = 0; i < 63; ++i) {
        clients.push_back(Client());
        ASSERT_TRUE(clients.back()->Login("Full" + std::to_string(i), "pw")) << i;
    }
    auto extra = Client();
    const Message* full = extra->WaitFor(msg::server_full);
    ASSERT_TRUE(full);
    EXPECT_FALSE(full->Payload.empty());
    EXPECT_TRUE(extra->WaitClosed());
    EXPECT_EQ(extra->Count(msg::server_welcome), 0);
    // A place that frees up is taken again.
    clients.front()->sockets.Close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() == 62; }, Patience));
    auto again = Client();
    EXPECT_TRUE(again->WaitFor(msg::server_welcome));
}

TEST_F(Server, UnfinishedHandshakeIsClosedAfterThirtySeconds)
{
    auto idle = Client();
    auto playing = Player("Patient");
    ASSERT_TRUE(idle->WaitFor(msg::server_welcome));
    Run(29000);
    EXPECT_EQ(idle->sockets.TcpState(), QAbstractSocket::ConnectedState);
    Run(1500);
    EXPECT_TRUE(idle->WaitClosed());
    EXPECT_EQ(playing->sockets.TcpState(), QAbstractSocket::ConnectedState);
}

TEST_F(Server, BeatsRiseEverySecondAndTheirAcksCarryThePing)
{
    auto client = Client();
    ASSERT_TRUE(client->Login("Beater", "pw"));
    const uint16_t local = client->sockets.LocalPort();
    client->SendUdp(msg::client_udpport, std::string_view(reinterpret_cast<const char*>(&local), 2));
    const Message* beat = client->WaitFor(msg::server_beat);
    ASSERT_TRUE(beat);
    EXPECT_TRUE(beat->Udp);
    TBeat first;
    ASSERT_TRUE(Decode(beat->Payload, first));
    EXPECT_EQ(first.Time, clock.Now());

    clock.Advance(30);
    client->SendUdp(msg::client_beatack, beat->Payload);
    const Message* ack = client->WaitFor(msg::server_beatackack);
    ASSERT_TRUE(ack);
    TBeatAckAck answer;
    ASSERT_TRUE(Decode(ack->Payload, answer));
    EXPECT_EQ(answer.Sequence, first.Sequence);
    EXPECT_EQ(answer.Ping, 30u);

    Run(1000);
    const Message* next = client->WaitFor(msg::server_beat, 2);
    ASSERT_TRUE(next);
    TBeat second;
    ASSERT_TRUE(Decode(next->Payload, second));
    EXPECT_EQ(second.Sequence, uint8_t(first.Sequence + 1));

    // The same echo again, or one from another address, gets no answer.
    client->SendUdp(msg::client_beatack, beat->Payload);
    TSocketEvents quiet;
    TSocketAdapter stranger(quiet);
    if (stranger.Bind(0, QHostAddress(QStringLiteral("127.0.0.2"))))
        client->SendUdp(msg::client_beatack, next->Payload, &stranger);
    QTest::qWait(200);
    EXPECT_EQ(client->Count(msg::server_beatackack), 1);
}

TEST_F(Server, KeysAreAcknowledgedAndAWallStopsTheWalk)
{
    auto client = Player("Walker");
    const server::TActor* me = game->FindPlayer("Walker");
    ASSERT_TRUE(me);
    EXPECT_EQ(me->Motion.X(), server::TownX);  // the town's start tile is free
    EXPECT_EQ(me->Motion.Y(), server::TownY);
    const Message* pos = client->WaitFor(msg::server_player_pos);
    EXPECT_EQ(Get<uint16_t>(pos->Payload, 2), server::TownX);

    // East is the wall: acknowledged, refused, and corrected to standing.
    const std::string rightPress = Move(DirRight, 777);
    client->SendUdp(msg::client_keydown, rightPress);
    const Message* ack = client->WaitFor(msg::server_keydown_ack);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->Payload, Payload5(DirRight, 777));
    Run(1000);
    EXPECT_EQ(me->Motion.X(), server::TownX);
    const Message* stop = client->WaitForState(client->id, false);
    ASSERT_TRUE(stop);
    EXPECT_EQ(Get<uint8_t>(stop->Payload, 12), 0);  // standing
    client->SendUdp(msg::client_keyup, Move(DirRight, 800));
    const Message* upAck = client->WaitFor(msg::server_keyup_ack);
    ASSERT_TRUE(upAck);
    EXPECT_EQ(upAck->Payload, Payload5(DirRight, 800));

    // West is open: one tile per 250 ms, and the state tells the client so.
    client->SendUdp(msg::client_keydown, Move(DirLeft, 900));
    ASSERT_TRUE(client->WaitFor(msg::server_keydown_ack, 2));
    const Message* go = client->WaitForState(client->id, true);
    ASSERT_TRUE(go);
    EXPECT_EQ(Get<uint8_t>(go->Payload, 12), 1);
    EXPECT_EQ(Get<double>(go->Payload, 17), -1.0);
    EXPECT_EQ(Get<double>(go->Payload, 25), 0.0);
    EXPECT_FLOAT_EQ(Get<float>(go->Payload, 37), 0.004f);
    EXPECT_EQ(Get<uint32_t>(go->Payload, 41) % 250, 0u);
    Run(1000);
    EXPECT_EQ(me->Motion.X(), server::TownX - 4);
    // A late copy of the older press changes nothing, but is acknowledged again.
    client->SendUdp(msg::client_keydown, rightPress);
    ASSERT_TRUE(client->WaitFor(msg::server_keydown_ack, 3));
    Run(500);
    EXPECT_EQ(me->Motion.X(), server::TownX - 6);
    EXPECT_EQ(me->Motion.DirX, -1);
}

TEST_F(Server, KeyRecordsTakeTheirOrderFromTheSequenceNotTheKeyTime)
{
    auto client = Player("Orderly");
    const server::TActor* me = game->FindPlayer("Orderly");
    ASSERT_TRUE(me);
    // The client's clock moved back between press and release (a new offset from a
    // beat): the release carries the earlier time but the newer sequence, and stops.
    client->SendUdp(msg::client_keydown, Move(DirLeft, 50'000, 0, 0, 254));
    ASSERT_TRUE(client->WaitFor(msg::server_keydown_ack));
    Run(500);
    EXPECT_EQ(me->Motion.DirX, -1);
    client->SendUdp(msg::client_keyup, Move(DirLeft, 49'990, 0, 0, 255));
    const Message* ack = client->WaitFor(msg::server_keyup_ack);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->Payload, Payload5(DirLeft, 49'990));
    Run(500);
    EXPECT_EQ(me->Motion.DirX, 0);
    const uint16_t stoodAt = me->Motion.X();
    // A copy of the press that comes late (sequence 254, older than 255) is acknowledged
    // and ignored; a press numbered 0 after 255 is newer, the sequence having wrapped.
    client->SendUdp(msg::client_keydown, Move(DirLeft, 50'000, 0, 0, 254));
    ASSERT_TRUE(client->WaitFor(msg::server_keydown_ack, 2));
    Run(500);
    EXPECT_EQ(me->Motion.X(), stoodAt);
    client->SendUdp(msg::client_keydown, Move(DirLeft, 49'995, 0, 0, 0));
    ASSERT_TRUE(client->WaitFor(msg::server_keydown_ack, 3));
    Run(500);
    EXPECT_EQ(me->Motion.X(), stoodAt - 2);
}

TEST_F(Server, TextsAreLatin1BothWaysAndControlCharactersAreRefused)
{
    EXPECT_TRUE(server::SendableText(QStringLiteral("Gr\u00FC\u00DFe, Wanderer!")));
    EXPECT_FALSE(server::SendableText(QStringLiteral("\u03A9mega")));  // not in Latin-1
    EXPECT_FALSE(server::SendableText(QStringLiteral("two\nlines")));
    EXPECT_FALSE(server::SendableText(QStringLiteral("C1 \u0085 control")));

    game.reset();
    welcome = QStringLiteral("Gr\u00FC\u00DFe!");
    StartServer();
    auto zoe = Client();
    const Message* greeting = zoe->WaitFor(msg::server_welcome);
    ASSERT_TRUE(greeting);
    EXPECT_EQ(greeting->Payload, "Gr\xFC\xDF" "e!");  // one byte per character
    ASSERT_TRUE(zoe->Login("Zo\xEB", "pw"));
    ASSERT_TRUE(zoe->Enter());
    EXPECT_TRUE(game->FindPlayer(QStringLiteral("Zo\u00EB")));
    zoe->Send(msg::client_chat, "gr\xFC\xDF \x01\x85\x7F" "dich");
    const Message* said = zoe->WaitFor(msg::server_npc_say);
    ASSERT_TRUE(said);
    EXPECT_EQ(said->Payload.substr(8), "gr\xFC\xDF dich");
}

TEST_F(Server, WanderingCharactersTurnAwayFromWalls)
{
    // The wall stands just east of (940, 1220): east turns to the nearest open way.
    int dx = 1, dy = 0;
    server::TurnFromWalls(servertest::WallX - 1, servertest::WallY, dx, dy);
    EXPECT_TRUE(dx != 1 || dy != 0);
    EXPECT_TRUE(dx != 0 || dy != 0);
    EXPECT_TRUE(server::OpenStep(servertest::WallX - 1, servertest::WallY, dx, dy));
    dx = 0, dy = 1;
    server::TurnFromWalls(servertest::WallX - 1, servertest::WallY, dx, dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 1);
    EXPECT_FALSE(server::OpenStep(servertest::WallX - 1, servertest::WallY, 1, 0));
}

TEST_F(Server, ChatReachesPlayersInViewOnlyAndIsRateLimited)
{
    // Far is saved 600 tiles east of town before the others arrive.
    {
        auto far = Client();
        ASSERT_TRUE(far->Login("Far", "pw-Far"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() == 0; }, Patience));
    {
        server::TAccountStore store(game->DatabasePath(), QStringLiteral("test-writer"));
        server::TAccount account;
        ASSERT_EQ(store.Login("Far", "pw-Far", account), server::TAccountStore::ELogin::Accepted);
        store.SavePlaces({{account.Id, servertest::CharacterShape, server::TownX + 600, server::TownY, 0, 8}});
    }
    auto far = Player("Far");
    auto speaker = Player("Speaker");
    auto near = Player("Near");
    EXPECT_EQ(game->FindPlayer("Far")->Motion.X(), server::TownX + 600);
    Run(100);
    ASSERT_TRUE(near->WaitFor(msg::server_npc_add));

    speaker->Send(msg::client_chat, "hello\x01");
    const Message* heard = near->WaitFor(msg::server_npc_say);
    ASSERT_TRUE(heard);
    EXPECT_EQ(Get<int32_t>(heard->Payload, 0), speaker->id);
    EXPECT_EQ(Get<uint32_t>(heard->Payload, 4), 4000u + 60u * 5u);
    EXPECT_EQ(heard->Payload.substr(8), "hello");
    EXPECT_TRUE(speaker->WaitFor(msg::server_npc_say));  // the speaker sees it too
    QTest::qWait(100);
    EXPECT_EQ(far->Count(msg::server_npc_say), 0);

    for (int i = 0; i < 7; ++i)
        speaker->Send(msg::client_chat, "spam " + std::to_string(i));
    near->WaitFor(msg::server_npc_say, 5);
    QTest::qWait(200);
    EXPECT_EQ(near->Count(msg::server_npc_say), 5);  // 1 + 4 more in the same second
    Run(1000);
    speaker->Send(msg::client_chat, "later");
    EXPECT_TRUE(near->WaitFor(msg::server_npc_say, 6));
}

TEST_F(Server, ActorsEnterAndLeaveTheView)
{
    auto watcher = Player("Watcher");
    auto walker = Player("Roamer");
    Run(100);
    ASSERT_TRUE(watcher->WaitFor(msg::server_npc_add));
    EXPECT_EQ(Get<int32_t>(watcher->WaitFor(msg::server_npc_add)->Payload, 0), walker->id);
    // 121 tiles west: beyond the client's own limit of 120, so it is removed.
    walker->SendUdp(msg::client_keydown, Move(DirLeft, 1));
    ASSERT_TRUE(walker->WaitFor(msg::server_keydown_ack));
    Run(120 * 250);
    EXPECT_EQ(watcher->Count(msg::server_npc_remove), 0);
    Run(2 * 250);
    EXPECT_EQ(game->FindPlayer("Roamer")->Motion.X(), server::TownX - 122);
    const Message* gone = watcher->WaitFor(msg::server_npc_remove);
    ASSERT_TRUE(gone);
    EXPECT_EQ(Get<int32_t>(gone->Payload, 0), walker->id);
}

TEST_F(Server, AccountsAndPlacesSurviveARestart)
{
    {
        auto keeper = Player("Keeper");
        keeper->SendUdp(msg::client_keydown, Move(DirUp, 10));
        ASSERT_TRUE(keeper->WaitFor(msg::server_keydown_ack));
        Run(1000);
        ASSERT_EQ(game->FindPlayer("Keeper")->Motion.Y(), server::TownY - 4);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() == 0; }, Patience));
    game.reset();
    StartServer();

    auto wrong = Client();
    EXPECT_FALSE(wrong->Login("Keeper", "nope"));
    EXPECT_EQ(wrong->Count(msg::server_badpassword), 1);
    auto keeper = Player("Keeper");
    const Message* pos = keeper->WaitFor(msg::server_player_pos);
    ASSERT_TRUE(pos);
    EXPECT_EQ(Get<uint16_t>(pos->Payload, 2), server::TownX);
    EXPECT_EQ(Get<uint16_t>(pos->Payload, 4), server::TownY - 4);
}

TEST_F(Server, APlayerWhoseLoginMarkWentToAnotherServerIsClosedAndNotSaved)
{
    auto mira = Player("Mira");
    // Another server on the same database, as the shared store sees it.
    server::TAccountStore other(game->DatabasePath(), QStringLiteral("other-server"));
    const std::optional<server::TAccount> account = other.Find(QStringLiteral("Mira"));
    ASSERT_TRUE(account);
    EXPECT_FALSE(other.ClaimLogin(account->Id, QStringLiteral("other")));
    Run(15000);  // renewed on time, the mark stays
    EXPECT_FALSE(other.ClaimLogin(account->Id, QStringLiteral("other")));

    // This server failed to renew for a whole lease (stalled, cut off from the
    // database): the other one takes the player over and saves a place of its own.
    ASSERT_TRUE(other.ClaimLogin(account->Id, game->ServerName(), -1));
    ASSERT_TRUE(other.ClaimLogin(account->Id, QStringLiteral("other")));
    other.SavePlaces({{account->Id, servertest::CharacterShape, 100, 200, 0, 4}});
    auto twin = Client();
    EXPECT_FALSE(twin->Login("Mira", "pw-Mira"));
    EXPECT_EQ(twin->Count(msg::server_badname), 1);

    mira->SendUdp(msg::client_keydown, Move(DirUp, 10));
    ASSERT_TRUE(mira->WaitFor(msg::server_keydown_ack));
    Run(server::LoginLease * 1000 / 3);
    EXPECT_TRUE(mira->WaitClosed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() == 0; }, Patience));
    const std::optional<server::TAccount> kept = other.Find(QStringLiteral("Mira"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->X, 100);
    EXPECT_EQ(kept->Y, 200);
    // This server releases nothing of the other's.
    EXPECT_FALSE(game->ServerName().isEmpty());
    EXPECT_EQ(other.RenewLogins(QStringLiteral("other")), std::vector<int64_t>{account->Id});
}

TEST_F(Server, HostileInputIsDroppedOrClosedNeverFatal)
{
    auto player = Player("Target");
    // A flood of junk over TCP gets a few console lines, not one per message.
    {
        platform::ConsoleCapture console;
        std::string junk;
        for (int i = 0; i < 2000; ++i)
            junk += TVxProtocolFormat::MakeMessage(i % 2 ? 0x77000000u : msg::client_shape, "x");
        player->SendRaw(junk);
        player->Send(msg::client_chat, "still here");
        ASSERT_TRUE(player->WaitFor(msg::server_npc_say));
        int lines = 0;
        for (const std::string& line : console.Lines())
            lines += line.find("Connection") == 0 || line.find("client_shape") == 0;
        EXPECT_GE(lines, 1);
        EXPECT_LE(lines, 10);
    }
    // Short payloads, unknown types, server messages and UDP messages over TCP.
    player->Send(msg::client_shape, "x");
    player->Send(0x77000000, "junk");
    player->Send(msg::server_npc_state, "");
    player->Send(msg::client_keydown, "");
    player->SendUdp(msg::client_keydown, "abc");
    player->SendUdp(msg::client_beatack, "");
    const std::string garbage = "\x03\x00\x00\x2C\x01";
    player->sockets.SendTo(garbage, QHostAddress::LocalHost, player->serverUdpPort);
    // A UDP flood costs only the flooder's own messages.
    for (int i = 0; i < 300; ++i)
        player->SendUdp(msg::client_keydown, Move(DirDown, uint32_t(1000 + i)));
    QTest::qWait(300);
    EXPECT_EQ(player->sockets.TcpState(), QAbstractSocket::ConnectedState);
    EXPECT_LE(player->Count(msg::server_keydown_ack), server::DatagramBudget);

    // A header announcing 65535 bytes that never all come.
    auto hog = Client();
    ASSERT_TRUE(hog->WaitFor(msg::server_welcome));
    hog->SendRaw(std::string("\xFF\xFF\x00\x0F", 4) + std::string(30000, 'a'));
    QTest::qWait(200);
    EXPECT_EQ(hog->sockets.TcpState(), QAbstractSocket::ConnectedState);  // still below 64 KiB
    hog->SendRaw(std::string(35533, 'a'));  // 65537 bytes unframed, the message still short
    EXPECT_TRUE(hog->WaitClosed());

    auto fresh = Player("Newcomer");
    EXPECT_NE(fresh->id, 0);
    EXPECT_EQ(game->PlayersInGame(), 2);
}

TEST_F(Server, PasswordChecksLeaveTheEventLoopFreeAndKeepTheClientsOrder)
{
    auto busy = Player("Busy");
    RestartWithSlowHashing();
    busy = Player("Busy");  // a known account: its check verifies

    auto newcomer = Client();
    ASSERT_TRUE(newcomer->Name("Newcomer"));
    game->HoldPasswordAnswers(true);
    // The password and what follows it in one write: the server must answer the
    // password before it looks at the rest.
    newcomer->SendRaw(TVxProtocolFormat::MakeMessage(msg::client_password, "pw") +
                      TVxProtocolFormat::MakeMessage(msg::client_entergame, {}) +
                      TVxProtocolFormat::MakeMessage(msg::client_chat, "made it"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->PasswordChecksRunning() == 1; }, Patience));

    // While the hash is computed, a player in the game is still answered.
    busy->SendUdp(msg::client_keydown, Move(DirUp, 4242));
    ASSERT_TRUE(busy->WaitFor(msg::server_keydown_ack));
    EXPECT_EQ(newcomer->Count(msg::server_udpport), 0);

    game->HoldPasswordAnswers(false);
    ASSERT_TRUE(newcomer->WaitFor(msg::server_npc_say));
    EXPECT_GE(newcomer->Position(msg::server_udpport), 0);
    EXPECT_LT(newcomer->Position(msg::server_udpport), newcomer->Position(msg::server_player_id));
    EXPECT_LT(newcomer->Position(msg::server_player_id), newcomer->Position(msg::server_npc_say));
    EXPECT_EQ(newcomer->WaitFor(msg::server_npc_say)->Payload.substr(8), "made it");
    EXPECT_EQ(game->PlayersInGame(), 2);
}

TEST_F(Server, AConnectionEndingDuringItsPasswordCheckCreatesNothing)
{
    RestartWithSlowHashing();
    auto quitter = Client();
    ASSERT_TRUE(quitter->Name("Quitter"));
    game->HoldPasswordAnswers(true);
    quitter->Send(msg::client_password, "first");
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->PasswordChecksRunning() == 1; }, Patience));

    // A check that has not answered holds no session: another connection may try the name.
    auto twin = Client();
    EXPECT_TRUE(twin->Name("QUITTER"));
    twin->sockets.Abort();

    quitter->sockets.Abort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() == 0; }, Patience));
    // The next connection takes the same table entry before the late answer comes.
    auto successor = Client();
    ASSERT_TRUE(successor->Name("Successor"));
    ASSERT_EQ(game->PasswordChecksRunning(), 1);
    game->HoldPasswordAnswers(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->PasswordChecksRunning() == 0; }, Patience));
    QTest::qWait(50);
    EXPECT_EQ(successor->Count(msg::server_udpport), 0);
    EXPECT_EQ(successor->Count(msg::server_badpassword), 0);
    {
        server::TAccountStore store(game->DatabasePath(), QStringLiteral("test-reader"));
        EXPECT_FALSE(store.Find(QStringLiteral("Quitter")).has_value());
    }
    successor->Send(msg::client_password, "mine");
    EXPECT_TRUE(successor->WaitFor(msg::server_udpport));
}

TEST(Passwords, Argon2idHashesAreSaltedExactAndOldFormsStillVerify)
{
    // The older form's PBKDF2 is still right, so the accounts stored with it log in.
    EXPECT_EQ(server::Pbkdf2Sha256("password", "salt", 1, 32).toHex(),
              "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    EXPECT_EQ(server::Pbkdf2Sha256("password", "salt", 4096, 32).toHex(),
              "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");

    const server::TPasswordCost cost = server::CheapPasswordCost;
    const QString a = server::HashPassword("secret", cost);
    const QString b = server::HashPassword("secret", cost);
    EXPECT_TRUE(a.startsWith(QStringLiteral("$argon2id$")));
    EXPECT_NE(a, b);
    EXPECT_FALSE(a.contains(QStringLiteral("secret")));
    EXPECT_TRUE(server::VerifyPassword("secret", a));
    EXPECT_TRUE(server::VerifyPassword("secret", b));
    EXPECT_FALSE(server::VerifyPassword("Secret", a));
    EXPECT_FALSE(server::VerifyPassword(QByteArray("secret\0", 7), a));
    EXPECT_FALSE(server::VerifyPassword("secre", a));
    EXPECT_FALSE(server::VerifyPassword("secret", QStringLiteral("secret")));
    EXPECT_FALSE(server::VerifyPassword("secret", QStringLiteral("$argon2id$v=19$m=8,t=1,p=1$xx$yy")));
    EXPECT_FALSE(server::NeedsRehash(a, cost));
    EXPECT_TRUE(server::NeedsRehash(a, {2, size_t(1) << 20}));

    // The older form took "pw" and "pw\0", and any long password and its SHA-256, as
    // one key; zero bytes and more than 64 bytes are refused before any hashing now.
    const QString legacy = QStringLiteral("pbkdf2-sha256$100$%1$%2")
                               .arg(QString::fromLatin1(QByteArray("0123456789abcdef").toHex()),
                                    QString::fromLatin1(
                                        server::Pbkdf2Sha256("pw", "0123456789abcdef", 100, 32).toHex()));
    EXPECT_TRUE(server::VerifyPassword("pw", legacy));
    EXPECT_FALSE(server::VerifyPassword(QByteArray("pw\0", 3), legacy));
    EXPECT_TRUE(server::NeedsRehash(legacy, cost));
    const QByteArray longPassword(65, 'p');
    const QByteArray digest = QCryptographicHash::hash(longPassword, QCryptographicHash::Sha256);
    const QString legacyDigest =
        QStringLiteral("pbkdf2-sha256$10$%1$%2")
            .arg(QString::fromLatin1(QByteArray("0123456789abcdef").toHex()),
                 QString::fromLatin1(server::Pbkdf2Sha256(digest, "0123456789abcdef", 10, 32).toHex()));
    EXPECT_TRUE(server::VerifyPassword(digest, legacyDigest));
    EXPECT_FALSE(server::VerifyPassword(longPassword, legacyDigest));
    EXPECT_TRUE(server::AcceptablePassword(QByteArray(64, 'p')));
    EXPECT_FALSE(server::AcceptablePassword(longPassword));
}

TEST(WorkQueue, FinishingStepsRunOnTheOwnersThreadInTheOrderJobsFinished)
{
    server::TWorkQueue queue(2);
    const auto owner = std::this_thread::get_id();
    std::vector<int> results(8, 0);  // written by the workers, read by the owner
    std::vector<int> finished;
    for (int i = 0; i < 8; ++i)
        queue.Post([&results, i] { results[size_t(i)] = i * i; },
                   [&, i, owner] {
                       EXPECT_EQ(std::this_thread::get_id(), owner);
                       EXPECT_EQ(results[size_t(i)], i * i);
                       finished.push_back(i);
                   });
    while (finished.size() < 8)
        queue.TakeDone();
    EXPECT_EQ(queue.Outstanding(), 0u);
    std::sort(finished.begin(), finished.end());
    EXPECT_EQ(finished, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

    // Stop drops what has not started, and later posts, without running them.
    std::atomic<int> ran{0};
    server::TWorkQueue stopped(1);
    stopped.Stop();
    stopped.Post([&] { ++ran; }, [&] { ++ran; });
    EXPECT_EQ(stopped.TakeDone(), 0u);
    EXPECT_EQ(ran.load(), 0);
}

TEST(StopSignals, EachSignalArrivesOnTheEventLoopAndTheOldHandlersReturn)
{
    struct sigaction before = {};
    sigaction(SIGTERM, nullptr, &before);
    {
        server::TStopSignals stop;
        std::vector<int> got;
        QObject::connect(&stop, &server::TStopSignals::StopRequested, [&](int number) { got.push_back(number); });
        std::raise(SIGTERM);
        std::raise(SIGINT);
        std::raise(SIGHUP);
        EXPECT_TRUE(got.empty());  // nothing runs inside the handler
        ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() == 3; }, Patience));
        EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
    }
    struct sigaction after = {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
