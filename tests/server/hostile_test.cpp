// The server against hostile clients on loopback: raw sockets that reset, flood, do
// not read, guess passwords, forge datagrams and log lines, and crowd from one address.
// One group per way of attack; the fake clock stands in for time wherever the
// server's limits count it.
#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "accounts.h"
#include "game_server.h"
#include "net/game_channel.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/socket_adapter.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"
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
    std::string From;  // datagrams: the sender's address
};

template <typename T>
T Get(const std::string& payload, size_t offset)
{
    T value{};
    if (payload.size() >= offset + sizeof value)
        std::memcpy(&value, payload.data() + offset, sizeof value);
    return value;
}

std::string Word16(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }

std::string Move(uint8_t sequence, uint8_t code, uint32_t keyTime)
{
    return std::string(Payload(TMoveRecord{sequence, code, 0, 0, keyTime}).View());
}

// A client on a plain non-blocking socket, so that a test decides whether it reads,
// how small its receive window is and how it ends (a reset or a close). Replies are
// taken while the test lets the event loop (and with it the in-process server) run.
class RawClient : private TSocketEvents {
public:
    // Connects from `local` (any 127.x address) to the server's address and port.
    RawClient(const char* server, uint16_t port, const char* local = "127.0.0.1", int receiveBuffer = 0)
        : serverAddress(QString::fromLatin1(server))
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in me{};
        me.sin_family = AF_INET;
        inet_pton(AF_INET, local, &me.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me);
        if (receiveBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, server, &to.sin_addr);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;  // loopback: at once
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        udp.Bind(0, QHostAddress(QString::fromLatin1(local)));
    }
    ~RawClient()
    {
        if (fd >= 0)
            ::close(fd);
    }

    void SendBytes(const std::string& bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN)
                return;
            QTest::qWait(1);  // the server's window is full: let it read
        }
    }
    void Send(uint32_t type, std::string_view payload) { SendBytes(TVxProtocolFormat::MakeMessage(type, payload)); }
    void SendUdp(uint32_t type, std::string_view payload, TSocketAdapter* from = nullptr)
    {
        (from ? from : &udp)->SendTo(TVxProtocolFormat::MakeMessage(type, payload), serverAddress, serverUdpPort);
    }
    // Ends the connection with a reset instead of a close.
    void Reset()
    {
        linger off{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        ::close(fd);
        fd = -1;
    }

    // Takes what has arrived, unless the test made it stop reading.
    void Receive()
    {
        if (!reading || fd < 0)
            return;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN)) {
                closed = true;
                return;
            }
            if (n < 0)
                return;
            in.append(chunk, size_t(n));
        }
    }
    void Frame()
    {
        Receive();
        std::string_view rest(in);
        while (!TVxProtocolFormat::IsIncomplete(rest)) {
            const size_t length = TVxProtocolFormat::PayloadLength(rest);
            const uint32_t type = TVxProtocolFormat::ExtractType(rest);
            got.push_back({type, std::string(rest.substr(0, length)), false, {}});
            rest.remove_prefix(length);
        }
        in.erase(0, in.size() - rest.size());
    }
    int Count(uint32_t type)
    {
        Frame();
        int n = 0;
        for (const Message& m : got)
            n += m.Type == type;
        return n;
    }
    const Message* Last(uint32_t type)
    {
        Frame();
        const Message* last = nullptr;
        for (const Message& m : got)
            if (m.Type == type)
                last = &m;
        return last;
    }
    const Message* WaitFor(uint32_t type, int n = 1)
    {
        (void)QTest::qWaitFor([&] { return Count(type) >= n; }, Patience);
        return Count(type) >= n ? Last(type) : nullptr;
    }
    bool WaitClosed()
    {
        return QTest::qWaitFor(
            [&] {
                Frame();
                return closed;
            },
            Patience);
    }
    // The handshake up to server_nameok; false on a refusal.
    bool Name(const std::string& name)
    {
        if (!WaitFor(msg::server_protocolversion))
            return false;
        Send(msg::client_version, "0.2.3");
        Send(msg::client_protocolversion, "2");
        Send(msg::client_identity, servertest::Identity);
        if (!WaitFor(msg::server_identity))
            return false;
        Send(msg::client_name, name);
        (void)QTest::qWaitFor([&] { return Count(msg::server_nameok) || Refused(); }, Patience);
        return Count(msg::server_nameok) > 0;
    }
    bool Refused()
    {
        return Count(msg::server_badname) || Count(msg::server_badpassword) || Count(msg::server_full);
    }
    // The password step; true when the server answered with its UDP port.
    bool Password(std::string_view password)
    {
        Send(msg::client_password, password);
        (void)QTest::qWaitFor([&] { return Count(msg::server_udpport) || Refused(); }, Patience);
        if (!Count(msg::server_udpport))
            return false;
        serverUdpPort = Get<uint16_t>(Last(msg::server_udpport)->Payload, 0);
        return true;
    }
    bool Login(const std::string& name, std::string_view password) { return Name(name) && Password(password); }
    // Announces the UDP port, answers the first beat and enters the game.
    bool Enter()
    {
        Send(msg::client_shape, Word16(servertest::CharacterShape));
        SendUdp(msg::client_udpport, Word16(udp.LocalPort()));
        const Message* beat = WaitFor(msg::server_beat);
        if (!beat)
            return false;
        SendUdp(msg::client_beatack, beat->Payload);
        if (!WaitFor(msg::server_beatackack))
            return false;
        Send(msg::client_entergame, {});
        if (!WaitFor(msg::server_player_pos))
            return false;
        id = Get<int32_t>(Last(msg::server_player_id)->Payload, 0);
        return true;
    }

    int fd = -1;
    QHostAddress serverAddress;
    TSocketAdapter udp{*this};
    std::string in;
    std::vector<Message> got;
    bool connected = false;
    bool reading = true;
    bool closed = false;
    uint16_t serverUdpPort = 0;
    int32_t id = 0;

private:
    void DatagramRead(std::string_view from, uint16_t, std::string_view bytes) override
    {
        std::string_view rest = bytes;
        while (!TVxProtocolFormat::IsIncomplete(rest)) {
            const size_t length = TVxProtocolFormat::PayloadLength(rest);
            const uint32_t type = TVxProtocolFormat::ExtractType(rest);
            got.push_back({type, std::string(rest.substr(0, length)), true, std::string(from)});
            rest.remove_prefix(length);
        }
    }
};

// Whatever datagrams reach one endpoint.
struct DatagramLog : TSocketEvents {
    void DatagramRead(std::string_view, uint16_t, std::string_view bytes) override { got.emplace_back(bytes); }
    std::vector<std::string> got;
};

class Hostile : public servertest::WorldSuite {
protected:
    // Starts the server with the options as the test left them.
    void Start()
    {
        game = std::make_unique<server::TGameServer>(options);
        ASSERT_TRUE(game->Start());
    }
    void SetUp() override
    {
        options = LoopbackOptions(data.Path());
        options.MaxPendingPerAddress = 63;
        options.NewAccountsPerAddress = 1000;
    }

    std::unique_ptr<RawClient> Client(const char* local = "127.0.0.1", const char* server = "127.0.0.1",
                                      int receiveBuffer = 0)
    {
        auto client = std::make_unique<RawClient>(server, game->TcpPort(), local, receiveBuffer);
        EXPECT_TRUE(client->connected);
        return client;
    }
    std::unique_ptr<RawClient> Player(const std::string& name, const char* local = "127.0.0.1")
    {
        auto client = Client(local);
        EXPECT_TRUE(client->Login(name, "pw-" + name)) << name;
        EXPECT_TRUE(client->Enter()) << name;
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
    bool WaitConnections(int n)
    {
        return QTest::qWaitFor([&] { return game->Connections() == n; }, Patience);
    }

    server::TServerOptions options;
    platform::FakeClock clock{7'000'000};
    support::TempFolder data{"hostile_data"};
    std::unique_ptr<server::TGameServer> game;
};

// Connections that reset before the server accepts them have no peer address; each
// must be closed at once and must not free or overwrite anyone else's entry.
TEST_F(Hostile, ResetsBeforeAcceptAreDroppedAndHarmNobody)
{
    Start();
    auto steady = Player("Steady");
    for (int round = 0; round < 30; ++round) {
        std::vector<std::unique_ptr<RawClient>> live;
        for (int i = 0; i < 8; ++i) {
            auto resetting = Client();
            resetting->Reset();  // before the server's event loop has accepted it
            if (i % 3 == 0)
                live.push_back(Client());
        }
        QTest::qWait(5);
        for (auto& c : live)
            EXPECT_TRUE(c->WaitFor(msg::server_welcome)) << round;
    }
    QTest::qWait(100);
    EXPECT_TRUE(WaitConnections(1));
    auto newcomer = Player("Newcomer");
    EXPECT_NE(newcomer->id, 0);
    steady->Send(msg::client_chat, "still here");
    EXPECT_TRUE(steady->WaitFor(msg::server_npc_say));
    EXPECT_EQ(game->PlayersInGame(), 2);
}

// A connection cut off for not reading closes with a grace; meanwhile its owner logs
// in again: the old session ends first, the others see one actor, and the old
// connection's reset later frees nothing of the new one.
TEST_F(Hostile, ALoginDuringAHangingCloseEndsTheOldSessionFirst)
{
    options.MaxOutput = 4096;
    Start();
    auto observer = Player("Observer");
    auto victim = Client("127.0.0.1", "127.0.0.1", 1024);
    ASSERT_TRUE(victim->Login("Victim", "pw-Victim"));
    ASSERT_TRUE(victim->Enter());
    const int32_t victimId = victim->id;
    ASSERT_TRUE(observer->WaitFor(msg::server_npc_add));

    // The victim stops reading and walks to and fro: each turn sends it a state.
    victim->reading = false;
    platform::ConsoleCapture console;
    auto cutOff = [&] {
        for (const std::string& line : console.Lines())
            if (line.find("not reading its messages") != std::string::npos)
                return true;
        return false;
    };
    uint8_t sequence = 0;
    for (int second = 0; second < 200 && !cutOff(); ++second) {
        for (int i = 0; i < 40; ++i) {
            victim->SendUdp(msg::client_keydown, Move(++sequence, DirLeft, 1000u * second + 2 * i));
            victim->SendUdp(msg::client_keyup, Move(++sequence, DirLeft, 1000u * second + 2 * i + 1));
        }
        QTest::qWait(20);
        Run(1000);
    }
    ASSERT_TRUE(cutOff()) << victim->Count(msg::server_keydown_ack) << " presses acknowledged";
    EXPECT_EQ(game->Connections(), 2);  // closing, its output not taken yet

    auto again = Client();
    ASSERT_TRUE(again->Login("Victim", "pw-Victim"));
    ASSERT_TRUE(again->Enter());
    EXPECT_EQ(again->id, victimId);
    EXPECT_EQ(game->Connections(), 2);
    EXPECT_EQ(game->PlayersInGame(), 2);
    // The observer saw the old actor go before the new one came.
    (void)QTest::qWaitFor([&] { return observer->Count(msg::server_npc_add) >= 2; }, Patience);
    int present = 0;
    for (const Message& m : observer->got) {
        if (m.Type == msg::server_npc_add && Get<int32_t>(m.Payload, 0) == victimId)
            ++present;
        if (m.Type == msg::server_npc_remove && Get<int32_t>(m.Payload, 0) == victimId)
            --present;
        EXPECT_LE(present, 1);
    }
    EXPECT_EQ(present, 1);

    victim->Reset();
    QTest::qWait(100);
    again->Send(msg::client_chat, "it is me");
    EXPECT_TRUE(observer->WaitFor(msg::server_npc_say));
    EXPECT_EQ(game->PlayersInGame(), 2);
}

// Connections that never read and never log in are freed by the handshake limit and
// the close grace, whatever they send; a player heard from neither by TCP nor by UDP
// for 60 seconds is closed as well.
TEST_F(Hostile, ClosesFinishWithinTheGraceAndSilentPlayersAreClosed)
{
    Start();
    std::vector<std::unique_ptr<RawClient>> hogs;
    std::string identities;
    for (int i = 0; i < 2000; ++i)
        identities += TVxProtocolFormat::MakeMessage(msg::client_identity, servertest::Identity);
    for (int i = 0; i < 20; ++i) {
        hogs.push_back(Client("127.0.0.1", "127.0.0.1", 1024));
        hogs.back()->reading = false;
        hogs.back()->SendBytes(identities);
    }
    auto silent = Player("Silent");
    QTest::qWait(200);
    EXPECT_EQ(game->Connections(), 21);
    Run(server::HandshakeTimeout + 100);
    Run(server::CloseGrace + 100);
    EXPECT_TRUE(WaitConnections(1));

    // The player answered no beat since it entered (31 s ago): closed at 60 s.
    Run(server::SilenceTimeout - 31'000 - 2000);
    EXPECT_EQ(game->Connections(), 1);
    Run(4000);
    Run(server::CloseGrace + 100);
    EXPECT_TRUE(silent->WaitClosed());
    EXPECT_TRUE(WaitConnections(0));
}

// While connections of another address guess an account's password, its owner gets
// in: checks of one account wait in turn, and an address's failures slow its next
// checks down.
TEST_F(Hostile, TheOwnerGetsInWhileAnotherAddressGuesses)
{
    options.PasswordCost = {1, size_t(4) << 20};
    Start();
    {
        auto owner = Client();
        ASSERT_TRUE(owner->Login("Owner", "right"));
    }
    ASSERT_TRUE(WaitConnections(0));

    std::vector<std::unique_ptr<RawClient>> guessers;
    for (int i = 0; i < 8; ++i) {
        guessers.push_back(Client("127.0.0.2"));
        ASSERT_TRUE(guessers.back()->Name("owner"));
    }
    for (size_t i = 0; i < guessers.size(); ++i)
        guessers[i]->Send(msg::client_password, "guess-" + std::to_string(i));
    auto owner = Client();
    ASSERT_TRUE(owner->Name("Owner"));
    EXPECT_TRUE(owner->Password("right"));
    EXPECT_EQ(owner->Count(msg::server_badname), 0);
    for (auto& g : guessers)
        EXPECT_EQ(g->Count(msg::server_udpport), 0);

    // Three failures are answered at once; then the guessing address waits 1 s, 2 s, ...
    // before each next check (the fake clock stands still until the test moves it).
    (void)QTest::qWaitFor([&] { return game->PasswordChecksWaiting() == 5 && game->PasswordChecksRunning() == 0; },
                          Patience);
    int refused = 0;
    for (auto& g : guessers)
        refused += g->Count(msg::server_badpassword);
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(game->PasswordChecksWaiting(), 5);
    owner.reset();  // the owner leaves, so the guesses are checked again
    ASSERT_TRUE(WaitConnections(5));
    Run(1000);
    (void)QTest::qWaitFor([&] { return game->PasswordChecksWaiting() == 4 && game->PasswordChecksRunning() == 0; },
                          Patience);
    EXPECT_EQ(game->PasswordChecksWaiting(), 4);
    Run(1000);
    QTest::qWait(100);
    EXPECT_EQ(game->PasswordChecksWaiting(), 4);
    Run(1000);
    (void)QTest::qWaitFor([&] { return game->PasswordChecksWaiting() == 3; }, Patience);
    EXPECT_EQ(game->PasswordChecksWaiting(), 3);
}

// Passwords are the exact bytes sent: a zero byte more or a byte less is wrong, and
// long passwords cannot stand in for their SHA-256. Names with blanks at either end
// are refused. An account stored with the older hash logs in and is re-hashed.
TEST_F(Hostile, PasswordsAreComparedExactlyAndOldHashesAreReplaced)
{
    Start();
    {
        auto maker = Client();
        ASSERT_TRUE(maker->Login("Exact", "pw"));
    }
    ASSERT_TRUE(WaitConnections(0));
    for (const std::string& wrong : {std::string("pw\0", 3), std::string("p"), std::string("pw "),
                                     std::string(65, 'p')}) {
        auto guess = Client();
        EXPECT_FALSE(guess->Login("Exact", wrong)) << wrong.size();
        EXPECT_EQ(guess->Count(msg::server_badpassword), 1) << wrong.size();
        EXPECT_TRUE(guess->WaitClosed());
    }
    for (const std::string& blank : {std::string("Exact "), std::string(" Exact"), std::string(" ")}) {
        auto poser = Client();
        EXPECT_FALSE(poser->Name(blank)) << blank;
        EXPECT_EQ(poser->Count(msg::server_badname), 1) << blank;
    }

    // An account stored with the older PBKDF2 form, which took "pw" and "pw\0" alike.
    const QByteArray salt = "0123456789abcdef";
    const QString legacy = QStringLiteral("pbkdf2-sha256$1000$%1$%2")
                               .arg(QString::fromLatin1(salt.toHex()),
                                    QString::fromLatin1(server::Pbkdf2Sha256("old-pw", salt, 1000, 32).toHex()));
    {
        server::TAccountStore store(game->DatabasePath(), QStringLiteral("hostile-writer"));
        store.Create(QStringLiteral("Elder"), legacy);
    }
    auto zero = Client();
    EXPECT_FALSE(zero->Login("Elder", std::string("old-pw\0", 7)));
    EXPECT_EQ(zero->Count(msg::server_badpassword), 1);
    Run(60'000);  // this address has failed five times: its next check waits
    {
        auto elder = Client();
        EXPECT_TRUE(elder->Login("Elder", "old-pw"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->Connections() <= 1; }, Patience));
    QString stored;
    {
        server::TAccountStore store(game->DatabasePath(), QStringLiteral("hostile-reader"));
        ASSERT_TRUE(store.Find(QStringLiteral("Elder"), &stored).has_value());
    }
    EXPECT_TRUE(stored.startsWith(QStringLiteral("$argon2id$"))) << stored.toStdString();
    auto again = Client();
    EXPECT_TRUE(again->Login("Elder", "old-pw"));
}

// Another client at the same address (another port) can neither steer, redirect nor
// starve a player: the first client_udpport fixes the player's endpoint, and
// datagrams from anywhere else are dropped before they are read or counted.
TEST_F(Hostile, ASecondPortAtTheSameAddressCannotSteerRedirectOrStarve)
{
    options.UdpPort = 40000;
    options.UdpPorts = 1024;
    Start();
    auto victim = Player("Victim");
    const server::TActor* me = game->FindPlayer("Victim");
    ASSERT_TRUE(me);
    DatagramLog attackerGot;
    TSocketAdapter attacker(attackerGot);
    ASSERT_TRUE(attacker.Bind(0, QHostAddress::LocalHost));

    victim->SendUdp(msg::client_keydown, Move(200, DirLeft, 5000), &attacker);
    victim->SendUdp(msg::client_udpport, Word16(attacker.LocalPort()), &attacker);
    std::string junk;
    for (int i = 0; i < 300; ++i)
        junk += TVxProtocolFormat::MakeMessage(msg::client_keyup, Move(uint8_t(i), DirDown, 1));
    for (int i = 0; i < 10; ++i)
        victim->SendUdp(msg::client_keyup, std::string_view(junk).substr(4), &attacker);
    QTest::qWait(100);
    Run(1000);
    EXPECT_EQ(me->Motion.X(), server::TownX);
    EXPECT_EQ(me->Motion.DirX, 0);
    EXPECT_TRUE(attackerGot.got.empty());
    const int beats = victim->Count(msg::server_beat);
    Run(2000);
    EXPECT_TRUE(victim->WaitFor(msg::server_beat, beats + 2));  // the beats still come to the victim
    EXPECT_TRUE(attackerGot.got.empty());
    // The victim's own budget is untouched: its records are acknowledged and move it.
    victim->SendUdp(msg::client_keydown, Move(1, DirLeft, 6000));
    EXPECT_TRUE(victim->WaitFor(msg::server_keydown_ack));
    Run(500);
    EXPECT_EQ(me->Motion.X(), server::TownX - 2);

    // UDP ports are drawn at random from the range, not handed out in order.
    std::vector<std::unique_ptr<RawClient>> others;
    std::vector<int> ports{victim->serverUdpPort};
    for (int i = 0; i < 3; ++i) {
        others.push_back(Client());
        ASSERT_TRUE(others.back()->Login("Other" + std::to_string(i), "pw"));
        ports.push_back(others.back()->serverUdpPort);
    }
    bool consecutive = true;
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_GE(ports[i], 40000);
        EXPECT_LT(ports[i], 41024);
        if (i && ports[i] != ports[i - 1] + 1)
            consecutive = false;
    }
    EXPECT_FALSE(consecutive);
}

// A server listening on every address answers a client that reached it at 127.0.0.2
// from 127.0.0.2, so the client's sender check takes its beats.
TEST_F(Hostile, DatagramsComeFromTheAddressTheClientReached)
{
    options.Bind = QHostAddress::AnyIPv4;
    Start();
    auto client = Client("127.0.0.1", "127.0.0.2");
    ASSERT_TRUE(client->Login("Elsewhere", "pw"));
    ASSERT_TRUE(client->Enter());
    const Message* beat = client->Last(msg::server_beat);
    ASSERT_TRUE(beat);
    EXPECT_EQ(beat->From, "127.0.0.2");
    const Message* ack = client->Last(msg::server_beatackack);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->From, "127.0.0.2");
}

// Connections before login that flood empty messages, and a player sending 64 KiB
// datagrams packed with empty messages, cost a few log lines; well-behaved players
// keep their beats and acknowledgements meanwhile.
TEST_F(Hostile, AFloodKeepsTheLogSmallAndOthersAnswered)
{
    Start();
    auto good = Player("Good");
    auto flooder = Player("Flooder");
    std::vector<std::unique_ptr<RawClient>> noisy;
    for (int i = 0; i < 3; ++i)
        noisy.push_back(Client());
    std::string empties;
    for (int i = 0; i < 50'000; ++i)
        empties += TVxProtocolFormat::MakeMessage(i % 2 ? msg::client_identity : 0x77000000u, {});
    std::string packed;
    while (packed.size() + 4 <= 65'000)
        packed += TVxProtocolFormat::MakeMessage(msg::client_beatack, {});

    platform::ConsoleCapture console;
    uint8_t sequence = 0;
    for (int round = 0; round < 10; ++round) {
        for (auto& n : noisy)
            n->SendBytes(empties);
        for (int i = 0; i < 20; ++i)
            flooder->udp.SendTo(packed, flooder->serverAddress, flooder->serverUdpPort);
        good->SendUdp(msg::client_keydown, Move(++sequence, DirUp, 100u * round));
        EXPECT_TRUE(good->WaitFor(msg::server_keydown_ack, round + 1)) << round;
        good->SendUdp(msg::client_keyup, Move(++sequence, DirUp, 100u * round + 1));
        EXPECT_TRUE(good->WaitFor(msg::server_keyup_ack, round + 1)) << round;
        Run(1000);
        const Message* beat = good->Last(msg::server_beat);
        ASSERT_TRUE(beat);
        good->SendUdp(msg::client_beatack, beat->Payload);
        EXPECT_TRUE(good->WaitFor(msg::server_beatackack, round + 2)) << round;
    }
    Run(server::LogWindow);
    // 3 x 10 x 50 000 messages and 200 x 16 000 in datagrams: a few dozen lines.
    EXPECT_LE(console.Lines().size(), 60u);
    EXPECT_GE(console.CountStartingWith("Connection"), 3);
    for (auto& n : noisy)
        EXPECT_EQ(n->Count(msg::server_identity), 1);  // answered once, not per message
}

// Client texts reach the log escaped and cut: a line break cannot start a forged line
// and escape sequences do not reach the terminal.
TEST_F(Hostile, ClientTextsInTheLogAreEscapedAndCut)
{
    Start();
    platform::ConsoleCapture console;
    auto forger = Client();
    ASSERT_TRUE(forger->WaitFor(msg::server_protocolversion));
    forger->Send(msg::client_version, "0.2.3\nLogin Root on connection 1");
    forger->Send(msg::client_identity, "X\r\nLogin Root on connection 1\x1b[2J" + std::string(500, 'A'));
    ASSERT_TRUE(forger->WaitFor(msg::server_identity));
    QTest::qWait(50);
    bool escaped = false;
    for (const std::string& line : console.Lines()) {
        EXPECT_NE(line, "Login Root on connection 1");
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_LT(line.size(), 160u) << line;
        escaped = escaped || line.find("X\\x0D\\x0ALogin Root on connection 1\\x1B[2J") != std::string::npos;
    }
    EXPECT_TRUE(escaped);
    EXPECT_EQ(server::LogText("a\\b\xE9", 10), "a\\x5Cb\xC3\xA9");
}

// One address may hold only a few connections that have not logged in, and create
// only a few accounts a minute; other addresses are not affected.
TEST_F(Hostile, ConnectionsBeforeLoginAndNewAccountsAreCappedPerAddress)
{
    options.MaxPendingPerAddress = 4;
    options.NewAccountsPerAddress = 3;
    Start();
    std::vector<std::unique_ptr<RawClient>> pending;
    for (int i = 0; i < 4; ++i) {
        pending.push_back(Client());
        ASSERT_TRUE(pending.back()->WaitFor(msg::server_welcome));
    }
    auto fifth = Client();
    ASSERT_TRUE(fifth->WaitFor(msg::server_full));
    EXPECT_EQ(fifth->Count(msg::server_welcome), 0);
    EXPECT_TRUE(fifth->WaitClosed());
    auto neighbour = Client("127.0.0.2");
    EXPECT_TRUE(neighbour->WaitFor(msg::server_welcome));

    // Logged-in connections do not count: three new accounts, then the fourth waits.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(pending[size_t(i)]->Login("Made" + std::to_string(i), "pw")) << i;
    ASSERT_TRUE(pending[3]->Name("Made3"));
    EXPECT_FALSE(pending[3]->Password("pw"));
    EXPECT_EQ(pending[3]->Count(msg::server_full), 1);
    auto next = Client();
    EXPECT_TRUE(next->WaitFor(msg::server_welcome));
    EXPECT_TRUE(neighbour->Login("Made4", "pw"));  // another address has its own count
    Run(server::AccountWindow);
    auto later = Client();
    EXPECT_TRUE(later->Login("Made5", "pw"));
}

// New-account logins sent at once from one address: the limit holds although their
// hashes run together.
TEST_F(Hostile, NewAccountsStartedTogetherStillKeepToTheLimit)
{
    options.NewAccountsPerAddress = 3;
    options.PasswordCost = {1, size_t(4) << 20};
    Start();
    std::vector<std::unique_ptr<RawClient>> makers;
    for (int i = 0; i < 4; ++i) {
        makers.push_back(Client("127.0.0.3"));
        ASSERT_TRUE(makers.back()->Name("Racer" + std::to_string(i)));
    }
    for (auto& m : makers)
        m->Send(msg::client_password, "pw");
    int made = 0, full = 0;
    for (size_t i = 0; i < makers.size(); ++i) {
        (void)QTest::qWaitFor([&] { return makers[i]->Count(msg::server_udpport) || makers[i]->Refused(); }, Patience);
        made += makers[i]->Count(msg::server_udpport);
        full += makers[i]->Count(msg::server_full);
    }
    EXPECT_EQ(made, 3);
    EXPECT_EQ(full, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return game->PasswordChecksRunning() == 0; }, Patience));

    // Within the window nothing more; after it, three again.
    auto late = Client("127.0.0.3");
    EXPECT_FALSE(late->Login("Racer5", "pw"));
    EXPECT_EQ(late->Count(msg::server_full), 1);
    Run(server::AccountWindow);
    std::vector<std::unique_ptr<RawClient>> next;
    for (int i = 0; i < 4; ++i) {
        next.push_back(Client("127.0.0.3"));
        EXPECT_EQ(next.back()->Login("Later" + std::to_string(i), "pw"), i < 3) << i;
    }
}

// Names compare by one rule in the account store and in the game: Latin-1 capitals
// fold to their small letters, so a name in another case is the same account, and
// one in the game keeps out the same name in any case. Accounts stored before the
// rule keep logging in, also two whose names fold alike.
TEST_F(Hostile, NamesFoldLatin1LettersAlikeInTheStoreAndInTheGame)
{
    {
        // A store as it was written before names were folded.
        QDir().mkpath(options.DataFolder);
        QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hostile-old"));
        old.setDatabaseName(QDir(options.DataFolder).filePath(QStringLiteral("vxserver.db")));
        ASSERT_TRUE(old.open());
        QSqlQuery q(old);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE accounts (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                          " name TEXT NOT NULL UNIQUE COLLATE NOCASE, password TEXT NOT NULL,"
                                          " shape INTEGER NOT NULL DEFAULT 0, x INTEGER, y INTEGER,"
                                          " lift INTEGER NOT NULL DEFAULT 0, facing INTEGER NOT NULL DEFAULT 8,"
                                          " created TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP)")));
        for (const char* name : {"OLD\xC5ND", "Old\xE5nd"}) {
            q.prepare(QStringLiteral("INSERT INTO accounts (name, password) VALUES (?, ?)"));
            q.addBindValue(QString::fromLatin1(name));
            q.addBindValue(server::HashPassword(QByteArray("pw-") + name, server::CheapPasswordCost));
            ASSERT_TRUE(q.exec());
        }
        q = QSqlQuery();
        old.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("hostile-old"));
    Start();

    struct Case {
        std::string Made, Other;
        bool SameAccount;
    };
    const std::vector<Case> cases{
        {"VICT\xCCM", "Vict\xECm", true},
        {"\xC9OWYN", "\xE9owyn", true},
        {"\xDE" "orn", "\xFE" "ORN", true},
        {"A\xD7" "B", "a\xF7" "b", false},  // signs, not letters
    };
    int round = 0;
    for (const Case& c : cases) {
        // Each case guesses from an address of its own: no failure delays another.
        const std::string address = "127.0.1." + std::to_string(++round);
        {
            auto maker = Client();
            ASSERT_TRUE(maker->Login(c.Made, "pw")) << c.Made;
        }
        ASSERT_TRUE(WaitConnections(0));
        // The other spelling: the same account (its password is wrong) or a new one.
        auto other = Client(address.c_str());
        EXPECT_EQ(other->Login(c.Other, "other"), !c.SameAccount) << c.Other;
        EXPECT_EQ(other->Count(msg::server_badpassword), c.SameAccount ? 1 : 0) << c.Other;
        other.reset();
        ASSERT_TRUE(WaitConnections(0));
        // In the game under one spelling, the name is taken in the other.
        auto player = Client();
        ASSERT_TRUE(player->Login(c.Other, c.SameAccount ? "pw" : "other")) << c.Other;
        ASSERT_TRUE(player->Enter());
        auto twin = Client();
        EXPECT_EQ(twin->Name(c.Made), !c.SameAccount) << c.Made;
        EXPECT_EQ(twin->Count(msg::server_badname), c.SameAccount ? 1 : 0) << c.Made;
    }

    // The two old accounts: each by its exact name, and the older by any other case.
    for (const char* name : {"OLD\xC5ND", "Old\xE5nd"}) {
        auto elder = Client();
        EXPECT_TRUE(elder->Login(name, std::string("pw-") + name)) << name;
    }
    ASSERT_TRUE(WaitConnections(0));
    auto folded = Client();
    EXPECT_TRUE(folded->Login("old\xE5ND", "pw-OLD\xC5ND"));
}

// One address with accounts of its own cannot fill the table with logged-in
// connections that never enter the game: all its connections count, and a player
// from another address still gets in.
TEST_F(Hostile, AllConnectionsOfOneAddressAreCapped)
{
    options.MaxConnectionsPerAddress = 3;
    Start();
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(Client("127.0.0.4"));
        ASSERT_TRUE(idle.back()->Login("Idle" + std::to_string(i), "pw")) << i;
    }
    auto fourth = Client("127.0.0.4");
    ASSERT_TRUE(fourth->WaitFor(msg::server_full));
    EXPECT_EQ(fourth->Count(msg::server_welcome), 0);
    EXPECT_TRUE(fourth->WaitClosed());
    auto player = Client("127.0.0.5");
    EXPECT_TRUE(player->Login("Outsider", "pw"));

    // One of them leaves: its address has room again.
    idle.pop_back();
    ASSERT_TRUE(WaitConnections(3));
    auto again = Client("127.0.0.4");
    EXPECT_TRUE(again->Login("Idle2", "pw"));
}

// A player changing shape as fast as it can send: its watchers get its state at most
// a few times a second, the latest shape winning, and nobody who reads is cut off
// for the traffic.
TEST_F(Hostile, ShapeChangesReachWatchersAFewTimesASecondLatestWinning)
{
    options.MaxOutput = 8192;
    Start();
    auto shifter = Player("Shifter", "127.0.0.6");
    std::vector<std::unique_ptr<RawClient>> watchers;
    for (const char* address : {"127.0.0.7", "127.0.0.8", "127.0.0.9"})
        watchers.push_back(Player(std::string("Watcher") + address[8], address));
    Run(100);
    for (auto& w : watchers)
        ASSERT_TRUE(w->WaitFor(msg::server_npc_add, 3));
    auto statesOf = [&](RawClient& to) {
        int n = 0;
        to.Frame();
        for (const Message& m : to.got)
            n += m.Type == msg::server_npc_state && Get<int32_t>(m.Payload, 0) == shifter->id;
        return n;
    };
    std::vector<int> before;
    for (auto& w : watchers)
        before.push_back(statesOf(*w));

    // 4000 changes within one tick of the clock, the last one to the other shape.
    std::string burst;
    for (int i = 0; i < 4000; ++i)
        burst += TVxProtocolFormat::MakeMessage(
            msg::client_shape, Word16(i % 2 ? servertest::OtherCharacterShape : servertest::CharacterShape));
    shifter->SendBytes(burst);
    shifter->Send(msg::client_chat, "done");
    for (auto& w : watchers)
        ASSERT_TRUE(w->WaitFor(msg::server_npc_say));
    Run(1000);
    for (size_t i = 0; i < watchers.size(); ++i) {
        RawClient& w = *watchers[i];
        // One at once, then at most one per 250 ms of the second that follows.
        const int states = statesOf(w) - before[i];
        EXPECT_GE(states, 1) << i;
        EXPECT_LE(states, 1 + int(1000 / server::ShapeInterval)) << i;
        const Message* last = nullptr;
        for (const Message& m : w.got)
            if (m.Type == msg::server_npc_state && Get<int32_t>(m.Payload, 0) == shifter->id)
                last = &m;
        ASSERT_TRUE(last);
        EXPECT_EQ(Get<uint16_t>(last->Payload, 4), servertest::OtherCharacterShape) << i;
        EXPECT_FALSE(w.closed) << i;
    }
    EXPECT_EQ(game->PlayersInGame(), 4);
    EXPECT_EQ(game->FindPlayer("Shifter")->Shape, servertest::OtherCharacterShape);
}

// Check visits that stay silent after their answer and headers whose message never
// comes fill the table from many addresses: a player who logs in still finds a place,
// taken from the connection before login that has been silent longest.
TEST_F(Hostile, SilentVisitorsAndSlowHeadersCannotKeepPlayersOut)
{
    options.MaxPendingPerAddress = 4;
    Start();
    std::vector<std::unique_ptr<RawClient>> squatters;
    for (int a = 0; a < 15; ++a) {
        const std::string address = "127.0.4." + std::to_string(a + 1);
        for (int i = 0; i < 4; ++i) {
            auto visitor = Client(address.c_str());
            EXPECT_TRUE(visitor->WaitFor(msg::server_protocolversion));
            visitor->Send(msg::client_version, "0.2.3");
            visitor->Send(msg::client_protocolversion, "2");
            visitor->Send(msg::client_identity, servertest::Identity);
            EXPECT_TRUE(visitor->WaitFor(msg::server_identity));
            squatters.push_back(std::move(visitor));
        }
    }
    const uint32_t header = msg::client_chat | 0xFFFF;  // 65 535 bytes announced, none sent
    for (int i = 0; i < 3; ++i) {
        squatters.push_back(Client("127.0.4.100"));
        squatters.back()->SendBytes(std::string(reinterpret_cast<const char*>(&header), 4));
    }
    ASSERT_TRUE(WaitConnections(63));
    Run(1000);

    auto player = Client("127.0.5.1");
    ASSERT_TRUE(player->Login("Latecomer", "pw"));
    ASSERT_TRUE(player->Enter());
    EXPECT_TRUE(squatters.front()->WaitClosed());  // silent longest
    // The squatters come back at once: each takes the place of another silent one,
    // never the player's.
    for (int i = 0; i < 8; ++i) {
        auto again = Client(("127.0.6." + std::to_string(i + 1)).c_str());
        EXPECT_TRUE(again->WaitFor(msg::server_welcome)) << i;
        again->SendBytes(std::string(reinterpret_cast<const char*>(&header), 4));
        squatters.push_back(std::move(again));
    }
    player->Send(msg::client_chat, "still here");
    EXPECT_TRUE(player->WaitFor(msg::server_npc_say));
    EXPECT_EQ(game->PlayersInGame(), 1);
    EXPECT_EQ(game->Connections(), 63);
}

// Names asked in bulk from one address, without a password: the first few are
// answered at once, the rest one a second, logged once for the address; another
// address is answered at once. A refusal for the account quota, which tells at once
// that a name has no account, counts as a failure and slows the address down too.
TEST_F(Hostile, NameProbesOfOneAddressAreSlowedAndLoggedOnce)
{
    options.NamesPerAddress = 5;
    options.NewAccountsPerAddress = 1;
    Start();
    auto resident = Player("Resident", "127.0.0.20");
    platform::ConsoleCapture console;
    std::vector<std::unique_ptr<RawClient>> probes;
    auto probe = [&](const std::string& name) {
        auto c = Client("127.0.0.21");
        EXPECT_TRUE(c->WaitFor(msg::server_protocolversion));
        c->Send(msg::client_identity, servertest::Identity);
        EXPECT_TRUE(c->WaitFor(msg::server_identity));
        c->Send(msg::client_name, name);
        probes.push_back(std::move(c));
        return probes.back().get();
    };
    auto answered = [](RawClient* c) { return c->Count(msg::server_nameok) + c->Count(msg::server_badname); };
    for (int i = 0; i < 5; ++i) {
        RawClient* c = probe(i % 2 ? "resident" : "Stranger" + std::to_string(i));
        EXPECT_TRUE(QTest::qWaitFor([&] { return answered(c) == 1; }, Patience)) << i;
        c->Reset();
        probes.pop_back();
    }
    // The sixth and seventh wait their turns, a second apart.
    RawClient* sixth = probe("resident");
    RawClient* seventh = probe("Stranger7");
    QTest::qWait(100);
    EXPECT_EQ(answered(sixth) + answered(seventh), 0);
    auto neighbour = Client("127.0.0.22");
    EXPECT_TRUE(neighbour->Name("Neighbour"));
    Run(1000);
    EXPECT_TRUE(sixth->WaitFor(msg::server_badname));
    EXPECT_EQ(answered(seventh), 0);
    Run(1000);
    EXPECT_TRUE(seventh->WaitFor(msg::server_nameok));
    EXPECT_EQ(console.CountStartingWith("Names asked quickly from 127.0.0.21"), 1);

    // The neighbour's address has used its one new account; three quota refusals,
    // then its next check waits.
    ASSERT_TRUE(neighbour->Password("pw"));
    for (int i = 0; i < 3; ++i) {
        auto c = Client("127.0.0.22");
        ASSERT_TRUE(c->Name("Unknown" + std::to_string(i)));
        EXPECT_FALSE(c->Password("pw"));
        EXPECT_EQ(c->Count(msg::server_full), 1) << i;
    }
    auto fourth = Client("127.0.0.22");
    ASSERT_TRUE(fourth->Name("Unknown3"));
    fourth->Send(msg::client_password, "pw");
    EXPECT_TRUE(QTest::qWaitFor([&] { return game->PasswordChecksWaiting() == 1; }, Patience));
    EXPECT_EQ(fourth->Count(msg::server_full), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
