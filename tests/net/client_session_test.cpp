// The client session on its own, with a fake host that records every effect: the
// connection events and their log texts, the send path, every handshake step with
// its lines and sends, the refusals, and the UDP channel on the fake clock.
#include "net/client_session.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace net {
namespace {

struct Sent {
    uint32_t Type;
    std::string Payload;
};

// Splits a run of framed messages.
std::vector<Sent> Split(std::string_view bytes)
{
    std::vector<Sent> out;
    while (!TVxProtocolFormat::IsIncomplete(bytes)) {
        const size_t length = TVxProtocolFormat::PayloadLength(bytes);
        const uint32_t type = TVxProtocolFormat::ExtractType(bytes);
        out.push_back({type, std::string(bytes.substr(0, length))});
        bytes.remove_prefix(length);
    }
    EXPECT_TRUE(bytes.empty()) << "a send that is not whole messages";
    return out;
}

class FakeHost : public TClientSessionHost {
public:
    void WriteTCP(std::string_view bytes) override
    {
        for (Sent& m : Split(bytes))
            tcp.push_back(std::move(m));
    }
    bool TCPActive() const override { return active; }
    void CloseTCP() override
    {
        ++closed;
        active = false;
    }
    bool BindUDP(uint16_t port) override
    {
        bound.push_back(port);
        return bindWorks;
    }
    uint16_t UDPLocalPort() const override { return bound.empty() ? 0 : bound.back(); }
    void SetUDPRemote(std::string_view host, uint16_t port) override
    {
        remoteHost = host;
        remotePort = port;
    }
    void SendDatagram(std::string_view bytes) override
    {
        const std::vector<Sent> messages = Split(bytes);
        EXPECT_EQ(messages.size(), 1u) << "a datagram carries one message";
        udp.insert(udp.end(), messages.begin(), messages.end());
    }
    void AddLogLine(std::string_view line) override { log.emplace_back(line); }
    void LoadWorldData() override { ++loads; }
    void StartRetransmitTimer() override { ++timerStarts; }
    void EnterGame() override { ++entered; }
    void ConnectionClosed() override { ++closedEvents; }
    void ConnectionRefused() override { ++refused; }
    void SpeechHeard(int32_t id, std::string_view text) override
    {
        chat.push_back(std::to_string(id) + ": " + std::string(text));
    }
    void ChatSent(std::string_view text) override { chat.push_back("sent: " + std::string(text)); }

    bool active = true;
    bool bindWorks = true;
    int closed = 0, loads = 0, timerStarts = 0, entered = 0, closedEvents = 0, refused = 0;
    std::vector<uint16_t> bound;
    std::string remoteHost;
    uint16_t remotePort = 0;
    std::vector<Sent> tcp, udp;
    std::vector<std::string> log;
    std::vector<std::string> chat;
};

std::string Frame(uint32_t type, std::string_view payload) { return TVxProtocolFormat::MakeMessage(type, payload); }

template <typename M>
std::string Bytes(const M& m)
{
    return std::string(Payload(m).View());
}

class ClientSession : public ::testing::Test {
protected:
    ClientSession() : clock(100000), session(host, actors, timer, speech, table, &endpoint)
    {
        TLoginChoices login;
        login.CharacterName = "Aldo";
        login.CharacterPassword = "secret";
        login.CharacterShape = 721;
        login.WorldIdentity = "EMBER VALE";
        session.SetLogin(login);
    }

    void Connect()
    {
        session.InSocketConnect(&connection, "127.0.0.1", 12578);
        host.log.clear();
    }
    // One server message over TCP.
    void Server(uint32_t type, std::string_view payload = {}) { session.InSocketRead(Frame(type, payload)); }
    // One server message as a datagram from the server's address.
    void ServerUdp(uint32_t type, std::string_view payload, const char* from = "127.0.0.1")
    {
        session.InUDPDataReceived(from, 12577, Frame(type, payload));
    }
    // Through server_udpport, with a clean record of effects afterwards.
    void LogIn()
    {
        Connect();
        Server(msg::server_udpport, Bytes(TUdpPort{12577}));
        host.tcp.clear();
        host.udp.clear();
        host.log.clear();
    }
    // A beat round trip: the game is entered. Average ping `ping`.
    void Enter(uint8_t sequence, uint32_t ping)
    {
        clock.Advance(100);  // clear of the flood guard
        ServerUdp(msg::server_beat, Bytes(TBeat{sequence, clock.Now()}));
        ServerUdp(msg::server_beatackack, Bytes(TBeatAckAck{sequence, ping}));
        host.udp.clear();
        host.tcp.clear();
        host.log.clear();
    }
    std::vector<std::string> Logged() const { return host.log; }

    platform::FakeClock clock;
    platform::ConsoleCapture console;
    FakeHost host;
    TNPCList actors;
    TGameTimer timer;
    TSpeechHistory speech;
    TSocketTable table;
    int connection = 0, endpoint = 0;
    TClientSession session;
};

using Lines = std::vector<std::string>;

TEST_F(ClientSession, ConnectionEventsLogTheirTexts)
{
    session.InSocketLookup();
    session.InSocketConnecting();
    session.InSocketConnect(&connection, "127.0.0.1", 12578);
    EXPECT_EQ(Logged(), (Lines{"Looking up host...", "Socket connection in progress.", "TCP Connection accepted."}));
    const int32_t index = table.FindSocket("127.0.0.1", 12578);
    ASSERT_NE(index, NoSocket);
    EXPECT_EQ(table.Entry(index).UDP, &endpoint);
    EXPECT_TRUE(session.Writable());

    host.log.clear();
    session.InSocketDisconnect(&connection);
    EXPECT_EQ(Logged(), (Lines{"TCP Disconnected."}));
    EXPECT_EQ(host.closedEvents, 1);
    EXPECT_EQ(table.FindSocket("127.0.0.1", 12578), NoSocket);
}

TEST_F(ClientSession, RefusedConnectionEndsThereAndOtherErrorsGoOn)
{
    EXPECT_EQ(session.InSocketError(WinsockErrorNumber(ESocketFault::ConnectionRefused)), 0);
    EXPECT_EQ(Logged(), (Lines{"TCP: Winsock error # 10061 while in state", "Connection refused."}));
    EXPECT_EQ(host.refused, 1);
    EXPECT_EQ(host.closed, 1);

    host.log.clear();
    EXPECT_EQ(session.InSocketError(10035), 10035);
    EXPECT_EQ(Logged(), (Lines{"TCP: Winsock error # 10035 while in state", "Operation would block."}));
    host.log.clear();
    EXPECT_EQ(session.InSocketError(WinsockErrorNumber(ESocketFault::ConnectionReset)), 10054);
    EXPECT_EQ(Logged(), (Lines{"TCP: Winsock error # 10054 while in state"}));
    EXPECT_EQ(host.refused, 1);
    EXPECT_EQ(host.closed, 1);
}

TEST_F(ClientSession, SendTCPQueuesUntilWritableAndDropsWhenClosed)
{
    session.SendChat("early");
    EXPECT_TRUE(host.tcp.empty());
    EXPECT_EQ(session.PendingBytes(), 9u);
    session.InSocketConnect(&connection, "127.0.0.1", 12578);
    session.SendChat("second");
    ASSERT_EQ(host.tcp.size(), 1u);  // writable at once; the queue waits for the writable event
    session.InSocketWrite();
    ASSERT_EQ(host.tcp.size(), 2u);
    EXPECT_EQ(host.tcp[1].Payload, "early");
    EXPECT_EQ(session.PendingBytes(), 0u);

    host.active = false;
    session.SendChat("lost");
    EXPECT_EQ(host.tcp.size(), 2u);
    EXPECT_EQ(session.PendingBytes(), 0u);
}

TEST_F(ClientSession, TextMessagesAreLoggedAsTheyCome)
{
    Connect();
    Server(msg::server_welcome);
    Server(msg::server_notice, "maintenance at noon");
    Server(msg::server_version, "vxserver 1");
    Server(0x7F000000, "not in the catalogue");
    EXPECT_EQ(Logged(), (Lines{"server_welcome: ", "server_notice: maintenance at noon", "server_version: vxserver 1"}));
}

TEST_F(ClientSession, ProtocolVersionTwoSendsThreeMessagesInOrder)
{
    Connect();
    Server(msg::server_protocolversion, "2");
    EXPECT_EQ(Logged(), (Lines{"server_protocolversion: 2", "Protocol compatable."}));
    ASSERT_EQ(host.tcp.size(), 3u);
    EXPECT_EQ(host.tcp[0].Type, msg::client_version);
    EXPECT_EQ(host.tcp[0].Payload, "0.2.3");
    EXPECT_EQ(host.tcp[1].Type, msg::client_protocolversion);
    EXPECT_EQ(host.tcp[1].Payload, "2");
    EXPECT_EQ(host.tcp[2].Type, msg::client_identity);
    EXPECT_EQ(host.tcp[2].Payload, "EMBER VALE");
}

TEST_F(ClientSession, OtherProtocolVersionsLogTheirTextAndSendNothing)
{
    Connect();
    Server(msg::server_protocolversion, "3");
    Server(msg::server_protocolversion, "02");
    Server(msg::server_protocolversion, "1");
    Server(msg::server_protocolversion, "two");
    EXPECT_EQ(Logged(),
              (Lines{"server_protocolversion: 3",
                     "You have an outdated client. You will need to upgrade to play on this server.",
                     "server_protocolversion: 02",
                     "Server version is outdated. You cannot play on this server until it is upgraded.",
                     "server_protocolversion: 1",
                     "Server version is outdated. You cannot play on this server until it is upgraded.",
                     "server_protocolversion: two",
                     "The server's protocol version is not a number; nothing more is sent."}));
    EXPECT_TRUE(host.tcp.empty());
    EXPECT_EQ(host.closed, 0);
}

TEST(ParseDecimal, TakesSignedDecimalsWithin32BitsOnly)
{
    int32_t v = 0;
    EXPECT_TRUE(ParseDecimal("02", v) && v == 2);
    EXPECT_TRUE(ParseDecimal("-7", v) && v == -7);
    EXPECT_TRUE(ParseDecimal("+2147483647", v) && v == 2147483647);
    EXPECT_TRUE(ParseDecimal("-2147483648", v) && v == INT32_MIN);
    v = 5;
    for (const char* bad : {"", "+", "2147483648", "99999999999", " 2", "2 ", "0x10", "2.0"})
        EXPECT_FALSE(ParseDecimal(bad, v)) << bad;
    EXPECT_EQ(v, 5);
}

TEST_F(ClientSession, IdentityMustMatchExactlyBeforeTheNameIsSent)
{
    Connect();
    Server(msg::server_identity, "EMBER VALE");
    EXPECT_EQ(Logged(), (Lines{"Server has: EMBER VALE", "You have: EMBER VALE", "IDENTITY matches."}));
    ASSERT_EQ(host.tcp.size(), 1u);
    EXPECT_EQ(host.tcp[0].Type, msg::client_name);
    EXPECT_EQ(host.tcp[0].Payload, "Aldo");

    host.log.clear();
    host.tcp.clear();
    Server(msg::server_identity, "Ember Vale");
    EXPECT_EQ(Logged(), (Lines{"Server has: Ember Vale", "You have: EMBER VALE", "IDENTITY does not match server:",
                               "The server is running a different Tessarine game then you."}));
    EXPECT_TRUE(host.tcp.empty());
    EXPECT_EQ(host.closed, 1);
}

TEST_F(ClientSession, NameOkSendsThePassword)
{
    Connect();
    Server(msg::server_nameok, "ignored");
    EXPECT_EQ(Logged(), (Lines{"Name OK, sending password.."}));
    ASSERT_EQ(host.tcp.size(), 1u);
    EXPECT_EQ(host.tcp[0].Type, msg::client_password);
    EXPECT_EQ(host.tcp[0].Payload, "secret");
}

TEST_F(ClientSession, RefusalsLogAndClose)
{
    Connect();
    Server(msg::server_badname);
    Server(msg::server_full, "63 players");
    Server(msg::server_ip_inuse);
    Server(msg::server_badpassword);
    EXPECT_EQ(Logged(), (Lines{"Name \"Aldo\" is an invalid name.", "server_full: 63 players",
                               "server_ip_inuse: Cannot create connection entry.", "Invalid or incorrect password."}));
    EXPECT_EQ(host.closed, 4);
    EXPECT_TRUE(host.tcp.empty());
}

TEST_F(ClientSession, RefusedTellsWhatTryingAgainWouldNotMend)
{
    const auto after = [this](auto step) {
        TClientSession fresh(host, actors, timer, speech, table, &endpoint);
        fresh.SetLogin(session.Login());
        step(fresh);
        return fresh.Refused();
    };
    auto message = [](uint32_t type, std::string_view payload = {}) {
        return [=](TClientSession& s) { s.HandleServerMessage(1, type, payload); };
    };
    EXPECT_TRUE(after(message(msg::server_badname)));
    EXPECT_TRUE(after(message(msg::server_badpassword)));
    EXPECT_TRUE(after(message(msg::server_full, "full")));
    EXPECT_TRUE(after(message(msg::server_ip_inuse)));
    EXPECT_TRUE(after(message(msg::server_identity, "OTHER")));
    EXPECT_TRUE(after(message(msg::server_protocolversion, "3")));
    EXPECT_FALSE(after(message(msg::server_identity, "EMBER VALE")));
    EXPECT_FALSE(after(message(msg::server_welcome, "hi")));
    EXPECT_FALSE(after([](TClientSession& s) { s.InSocketError(WSAECONNREFUSED); }));
}

TEST_F(ClientSession, UdpPortAcceptsTheLoginInItsStepOrder)
{
    Connect();
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        actors.Head()->X = 900;
    }
    clock.Set(200000);
    Server(msg::server_udpport, Bytes(TUdpPort{12577}));
    EXPECT_EQ(host.bound, (std::vector<uint16_t>{28101}));  // the LocalUDPPort box
    EXPECT_EQ(host.remoteHost, "127.0.0.1");
    EXPECT_EQ(host.remotePort, 12577);
    EXPECT_EQ(Logged(), (Lines{"Server is on UDP port #12577", "Client is on UDP port #28101", "Loading game data.",
                               "Awaiting server_beat."}));
    EXPECT_EQ(console.Lines().at(0), "");  // no first argument: an empty line
    EXPECT_EQ(host.loads, 1);
    EXPECT_EQ(host.timerStarts, 1);
    EXPECT_TRUE(session.Channel().RetransmitEnabled());
    EXPECT_TRUE(session.Channel().DownAcked(0) && session.Channel().UpAcked(255));
    ASSERT_EQ(host.tcp.size(), 1u);
    EXPECT_EQ(host.tcp[0].Type, msg::client_shape);
    EXPECT_EQ(host.tcp[0].Payload, Bytes(TShape{721}));
    ASSERT_EQ(host.udp.size(), 1u);
    EXPECT_EQ(host.udp[0].Type, msg::client_udpport);
    EXPECT_EQ(host.udp[0].Payload, Bytes(TUdpPort{28101}));

    std::lock_guard<std::mutex> hold(actors.Lock());
    const TNPCNode* head = actors.Head();
    EXPECT_EQ(head->Shape, 721);
    EXPECT_EQ(head->Name.View(), "Aldo");
    EXPECT_EQ(head->X, 0);
    EXPECT_EQ(head->LastTime, 200000u);
}

TEST_F(ClientSession, UdpArgumentChoosesTheLocalPortAndABadOneStopsTheLogin)
{
    TLoginChoices login = session.Login();
    login.FirstArgument = "udp=3000";
    login.LocalUDPPort = "28101";
    login.CharacterName = std::string(60, 'n');
    session.SetLogin(login);
    Connect();
    Server(msg::server_udpport, Bytes(TUdpPort{12577}));
    EXPECT_EQ(host.bound, (std::vector<uint16_t>{3000}));
    EXPECT_EQ(console.Lines().at(0), "udp=3000");
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        EXPECT_EQ(actors.Head()->Name.View(), std::string(47, 'n'));
    }

    for (const char* bad : {"udp=30x0", "udp=70000", "udp="}) {
        login.FirstArgument = bad;
        session.SetLogin(login);
        host = FakeHost{};
        Server(msg::server_udpport, Bytes(TUdpPort{12577}));
        EXPECT_TRUE(host.bound.empty()) << bad;
        EXPECT_TRUE(host.tcp.empty() && host.udp.empty()) << bad;
        EXPECT_EQ(host.loads, 0) << bad;
        ASSERT_EQ(host.log.size(), 1u) << bad;
        EXPECT_EQ(host.log[0], "The local UDP port \"" + std::string(bad + 4) +
                                   "\" is not a port number; the login stops here.");
    }
}

TEST_F(ClientSession, UnbindablePortStopsTheLoginWithALine)
{
    Connect();
    host.bindWorks = false;
    Server(msg::server_udpport, Bytes(TUdpPort{12577}));
    EXPECT_EQ(Logged(), (Lines{"Cannot bind UDP port #28101; the login stops here."}));
    EXPECT_TRUE(host.tcp.empty() && host.udp.empty());
    EXPECT_EQ(host.loads, 0);
    EXPECT_EQ(host.timerStarts, 0);
}

TEST_F(ClientSession, ShortFixedLayoutIsDroppedWithAConsoleLine)
{
    Connect();
    Server(msg::server_udpport, "\x01");
    Server(msg::server_beat, "\x01\x02");
    EXPECT_TRUE(host.bound.empty());
    EXPECT_TRUE(host.udp.empty() && host.tcp.empty() && host.log.empty());
    EXPECT_EQ(console.CountStartingWith("server_udpport: dropped, payload of 1 bytes"), 1);
    EXPECT_EQ(console.CountStartingWith("server_beat: dropped, payload of 2 bytes"), 1);
}

TEST_F(ClientSession, DisconnectEmptiesTheReceiveBuffer)
{
    Connect();
    const std::string welcome = Frame(msg::server_welcome, "hello");
    session.InSocketRead(std::string_view(welcome).substr(0, 6));
    EXPECT_EQ(session.UnreadBytes(), 6u);
    session.InSocketDisconnect(&connection);
    EXPECT_EQ(session.UnreadBytes(), 0u);
    Connect();
    session.InSocketRead(Frame(msg::server_notice, "again"));
    EXPECT_EQ(Logged(), (Lines{"server_notice: again"}));
}

TEST_F(ClientSession, DatagramsAreCheckedAgainstTheConnectionsAddress)
{
    const std::string beat = Frame(msg::server_beat, Bytes(TBeat{1, 5}));
    session.InUDPDataReceived("127.0.0.1", 12577, beat);  // before any connection
    EXPECT_EQ(console.CountStartingWith("Received UDP packet from unrecognized source."), 1);
    LogIn();
    session.InUDPDataReceived("127.0.0.2", 12577, beat);
    EXPECT_EQ(console.CountStartingWith("Received UDP from invalid address: 127.0.0.2"), 1);
    EXPECT_TRUE(host.log.empty());
    session.InUDPDataReceived("127.0.0.1", 40000, beat);  // another port of the server's address
    EXPECT_EQ(Logged(), (Lines{"Synchronizing..."}));
}

TEST_F(ClientSession, UdpPortIsAnnouncedAgainEachSecondUntilTheFirstBeat)
{
    LogIn();  // the first announcement went out with the login
    auto announcements = [&] {
        return std::count_if(host.udp.begin(), host.udp.end(), [](const Sent& m) { return m.Type == msg::client_udpport; });
    };
    for (int tick = 0; tick < 19; ++tick) {
        clock.Advance(50);
        session.RetransmitTimerTimer();
    }
    EXPECT_EQ(announcements(), 0);  // 950 ms: lost or not, it may still be on its way
    clock.Advance(50);
    session.RetransmitTimerTimer();
    ASSERT_EQ(announcements(), 1);
    EXPECT_EQ(host.udp.back().Payload, Bytes(TUdpPort{28101}));
    for (int tick = 0; tick < 20; ++tick) {
        clock.Advance(50);
        session.RetransmitTimerTimer();
    }
    EXPECT_EQ(announcements(), 2);

    // A beat shows the server has the port: no more announcements.
    ServerUdp(msg::server_beat, Bytes(TBeat{1, 500000}));
    for (int tick = 0; tick < 60; ++tick) {
        clock.Advance(50);
        session.RetransmitTimerTimer();
    }
    EXPECT_EQ(announcements(), 2);
}

TEST_F(ClientSession, BeatsSynchroniseAndTheFirstMatchingAckEntersOnce)
{
    LogIn();
    clock.Advance(100);
    ServerUdp(msg::server_beat, Bytes(TBeat{7, 500000}));
    ServerUdp(msg::server_beat, Bytes(TBeat{3, 500100}));  // before entering, any sequence
    ASSERT_EQ(host.udp.size(), 2u);
    EXPECT_EQ(host.udp[1].Type, msg::client_beatack);
    EXPECT_EQ(host.udp[1].Payload, Bytes(TBeat{3, 500100}));
    EXPECT_EQ(Logged(), (Lines{"Synchronizing...", "Synchronizing..."}));

    ServerUdp(msg::server_beatackack, Bytes(TBeatAckAck{7, 20}));
    EXPECT_EQ(console.CountStartingWith("Received invalid BEATACKACK: Recvd: 7 Previous: 3"), 1);
    EXPECT_FALSE(session.Entered());
    EXPECT_TRUE(host.tcp.empty());

    ServerUdp(msg::server_beatackack, Bytes(TBeatAckAck{3, 20}));
    ServerUdp(msg::server_beatackack, Bytes(TBeatAckAck{3, 30}));
    EXPECT_TRUE(session.Entered());
    EXPECT_EQ(host.entered, 1);
    ASSERT_EQ(host.tcp.size(), 1u);
    EXPECT_EQ(host.tcp[0].Type, msg::client_entergame);
    EXPECT_EQ(host.tcp[0].Payload, "");
    EXPECT_EQ(Logged().back(), "OK, Entering game.");
    EXPECT_EQ(timer.AveragePing(), 25);
    EXPECT_EQ(session.Channel().CorrectedOffset(), session.Channel().ClockOffset() - 15);
}

TEST_F(ClientSession, InGameBeatsFollowTheSequenceRule)
{
    LogIn();
    Enter(10, 20);
    for (const int s : {3, 9, 10, 11, 200}) {
        Enter(10, 20);  // back to sequence 10
        ServerUdp(msg::server_beat, Bytes(TBeat{uint8_t(s), 1}));
        EXPECT_EQ(session.Channel().BeatSequence(), s) << s;
        EXPECT_EQ(host.udp.size(), 1u) << s;
    }
    Enter(10, 20);
    for (const int s : {5, 6, 7, 8}) {
        ServerUdp(msg::server_beat, Bytes(TBeat{uint8_t(s), 1}));
        EXPECT_EQ(session.Channel().BeatSequence(), 10) << s;
    }
    EXPECT_TRUE(host.udp.empty());
    EXPECT_EQ(console.CountStartingWith("Received invalid BEAT sequence: Recvd: 7 Previous: 10"), 1);
    EXPECT_EQ(console.CountStartingWith("Received invalid BEAT sequence: "), 4);
    EXPECT_TRUE(host.log.empty());  // in game, no "Synchronizing..."
}

TEST_F(ClientSession, KeyAcknowledgementsOfOtherCodesChangeNothing)
{
    LogIn();
    Enter(1, 40);
    session.KeyPressed(VK_UP);
    const uint32_t keyTime = session.Channel().KeyTime(VK_UP);
    for (const uint8_t code : {uint8_t(6), uint8_t(9)})
        ServerUdp(msg::server_keydown_ack, Bytes(TKeyAck{code, keyTime}));
    EXPECT_FALSE(session.Channel().DownAcked(VK_UP));
    // The acknowledgement comes by TCP as well as by UDP.
    Server(msg::server_keydown_ack, Bytes(TKeyAck{DirUp, keyTime}));
    EXPECT_TRUE(session.Channel().DownAcked(VK_UP));
}

TEST_F(ClientSession, RetransmissionRunsAcrossTheWrapOfTheClock)
{
    LogIn();
    clock.Set(0xFFFFFF60u);
    Enter(1, 40);  // offset 0, average ping 40: game time is the tick count minus 20
    session.KeyPressed(VK_RIGHT);
    ASSERT_EQ(host.udp.size(), 1u);
    TMoveRecord first;
    ASSERT_TRUE(Decode(host.udp[0].Payload, first));
    EXPECT_EQ(first.Code, DirRight);

    int ticks = 0;
    while (host.udp.size() < 2 && ticks < 10) {
        clock.Advance(50);
        session.RetransmitTimerTimer();
        ++ticks;
    }
    // Not before twice the average ping (80 ms): the second tick, past the wrap.
    EXPECT_EQ(ticks, 2);
    EXPECT_LT(clock.Now(), 0x1000u);
    ASSERT_EQ(host.udp.size(), 2u);
    TMoveRecord again;
    ASSERT_TRUE(Decode(host.udp[1].Payload, again));
    EXPECT_EQ(again.KeyTime, first.KeyTime);
    EXPECT_EQ(console.CountStartingWith("Retransmitting down: cgt:" + std::to_string(timer.Now()) + " gtp:40 key_time:" +
                                        std::to_string(first.KeyTime)),
              1);

    // Every tick from then on, until the acknowledgement with the same key time.
    clock.Advance(50);
    session.RetransmitTimerTimer();
    EXPECT_EQ(host.udp.size(), 3u);
    ServerUdp(msg::server_keydown_ack, Bytes(TKeyAck{DirRight, first.KeyTime}));
    clock.Advance(50);
    session.RetransmitTimerTimer();
    EXPECT_EQ(host.udp.size(), 3u);
}

TEST_F(ClientSession, WalkingTargetsWrapIntoTheWorld)
{
    LogIn();
    Enter(1, 0);
    session.SendWalkTo(160, 100, -2, 3075);
    ASSERT_EQ(host.udp.size(), 1u);
    TMoveRecord walk;
    ASSERT_TRUE(Decode(host.udp[0].Payload, walk));
    EXPECT_EQ(walk.Code, DirWalk);
    EXPECT_EQ(walk.TargetX, 3070);
    EXPECT_EQ(walk.TargetY, 3);
}

TEST_F(ClientSession, FloodGuardDropsTheSixthOfABurst)
{
    LogIn();
    clock.Advance(1000);
    for (int i = 0; i < 6; ++i) {
        session.SendWalkTo(0, 0, 1, 1);
        clock.Advance(10);
    }
    EXPECT_EQ(host.udp.size(), 5u);
    EXPECT_EQ(console.CountStartingWith("floodCounter exceeded, packet dropped, fC=5"), 1);
    EXPECT_EQ(session.Channel().FloodCounter(), 3);
    session.SendWalkTo(0, 0, 1, 1);
    EXPECT_EQ(host.udp.size(), 6u);
    clock.Advance(50);
    session.SendWalkTo(0, 0, 1, 1);
    EXPECT_EQ(session.Channel().FloodCounter(), 0);
    EXPECT_EQ(host.udp.size(), 7u);
}

TEST_F(ClientSession, ActorMessagesReachTheActorList)
{
    Connect();
    Server(msg::server_player_id, Bytes(TPlayerId{1234}));
    Server(msg::server_npc_add, Bytes(TNpcAdd{55, 900, 8, 0, 940, 1220}));
    std::string say;
    Encode(TNpcSay{55, 5000, "hello"}, say);
    ServerUdp(msg::server_npc_say, say);
    std::lock_guard<std::mutex> hold(actors.Lock());
    EXPECT_EQ(actors.Head()->ID, 1234);
    ASSERT_TRUE(actors.EntryExists(55));
    EXPECT_EQ(actors.FindEntry(55)->Speech.View(), "hello");
    EXPECT_EQ(speech.Count, 1u);
}

TEST_F(ClientSession, TheChatLogHearsShownSpeechAndSentLinesOnce)
{
    Connect();
    Server(msg::server_player_id, Bytes(TPlayerId{1234}));
    Server(msg::server_npc_add, Bytes(TNpcAdd{55, 900, 8, 0, 940, 1220}));
    auto say = [this](int32_t id, std::string_view text) {
        std::string payload;
        Encode(TNpcSay{id, 5000, text}, payload);
        Server(msg::server_npc_say, payload);
    };
    session.SendChat("Well met");
    say(1234, "Well met");  // the server's echo of the player's own line
    say(55, "Hello");
    say(77, "nobody knows me");  // not shown, so not logged
    EXPECT_EQ(host.chat, (Lines{"sent: Well met", "55: Hello"}));
}

}  // namespace
}  // namespace net
