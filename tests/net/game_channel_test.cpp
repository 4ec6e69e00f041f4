// The client's UDP game channel: flood guard, sender check, beats, movement records,
// acknowledgements and retransmission, all on the fake clock.
#include "net/game_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/game_timer.h"
#include "net/message_types.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace net {
namespace {

struct Sent {
    uint32_t Type;
    std::string Payload;
};

std::string Payload5(uint8_t b, uint32_t w)
{
    return std::string(Payload(TBeat{b, w}).View());
}

TMoveRecord ReadMoveRecord(std::string_view payload)
{
    TMoveRecord record;
    EXPECT_TRUE(Decode(payload, record));
    return record;
}

class GameChannel : public ::testing::Test {
protected:
    GameChannel() : clock(100000), channel(timer)
    {
        channel.SetSendDatagram([this](std::string_view m) { udp.push_back(Split(m)); });
        channel.SetSendTCP([this](std::string_view m) { tcp.push_back(Split(m)); });
        channel.SetLog([this](std::string_view line) { log.emplace_back(line); });
        channel.SetOnEnterGame([this] { ++entered; });
    }

    static Sent Split(std::string_view m)
    {
        EXPECT_FALSE(TVxProtocolFormat::IsIncomplete(m));
        std::string_view rest = m;
        const uint32_t type = TVxProtocolFormat::ExtractType(rest);
        return {type, std::string(rest)};
    }

    // Accepts one beat and its matching beatackack: the game is entered.
    void Enter(uint8_t sequence, uint32_t serverTime, uint32_t ping)
    {
        clock.Advance(50);  // clear of the flood guard
        channel.server_beat(Payload5(sequence, serverTime));
        channel.server_beatackack(Payload5(sequence, ping));
    }

    platform::FakeClock clock;
    platform::ConsoleCapture console;
    TGameTimer timer;
    TGameChannel channel;
    std::vector<Sent> udp, tcp;
    std::vector<std::string> log;
    int entered = 0;
};

TEST_F(GameChannel, FloodGuardLetsFiveThroughThenEverySecond)
{
    clock.Set(500000);
    const std::string message = TVxProtocolFormat::MakeMessage(msg::client_udpport, "ab");
    int sent = 0;
    for (int i = 0; i < 6; ++i) {
        sent += channel.SendUDP(message);
        clock.Advance(10);
    }
    EXPECT_EQ(sent, 5);
    EXPECT_EQ(console.CountStartingWith("floodCounter exceeded, packet dropped, fC=5"), 1);
    EXPECT_EQ(channel.FloodCounter(), 3);
    EXPECT_TRUE(channel.SendUDP(message));  // the seventh, 10 ms later, goes out
    EXPECT_EQ(channel.FloodCounter(), 4);
    clock.Advance(50);
    EXPECT_TRUE(channel.SendUDP(message));
    EXPECT_EQ(channel.FloodCounter(), 0);
    EXPECT_EQ(udp.size(), 7u);
}

TEST_F(GameChannel, SenderCheckRefusesUnknownEndpointsAndOtherAddresses)
{
    TSocketTable table;
    TVxProtocolFormat format(table);
    int dispatched = 0;
    format.SetHandler([&](int32_t, uint32_t, std::string_view) { ++dispatched; });
    int socket = 0, endpoint = 0, stranger = 0;
    const int32_t index = table.AddSocket(&socket, "127.0.0.1", 12578);
    table.Entry(index).UDP = &endpoint;
    const std::string beat = TVxProtocolFormat::MakeMessage(msg::server_beat, Payload5(1, 2));

    TGameChannel::InUDPDataReceived(format, table, &stranger, "127.0.0.1", 12577, beat);
    TGameChannel::InUDPDataReceived(format, table, &endpoint, "127.0.0.2", 12577, beat);
    EXPECT_EQ(dispatched, 0);
    EXPECT_EQ(console.CountStartingWith("Received UDP packet from unrecognized source."), 1);
    EXPECT_EQ(console.CountStartingWith("Received UDP from invalid address: 127.0.0.2"), 1);
    // Another source port of the server's address is fine.
    TGameChannel::InUDPDataReceived(format, table, &endpoint, "127.0.0.1", 40000, beat);
    EXPECT_EQ(dispatched, 1);
}

TEST_F(GameChannel, BeatsAreEchoedAndTheFirstMatchingAckEntersOnce)
{
    channel.server_beat(Payload5(7, 200000));
    ASSERT_EQ(udp.size(), 1u);
    EXPECT_EQ(udp[0].Type, msg::client_beatack);
    EXPECT_EQ(udp[0].Payload, Payload5(7, 200000));
    EXPECT_EQ(channel.ClockOffset(), 100000);
    EXPECT_EQ(log.back(), "Synchronizing...");

    channel.server_beatackack(Payload5(6, 30));  // another sequence: refused
    EXPECT_EQ(console.CountStartingWith("Received invalid BEATACKACK: Recvd: 6 Previous: 7"), 1);
    EXPECT_FALSE(channel.Entered());
    EXPECT_TRUE(tcp.empty());

    channel.server_beatackack(Payload5(7, 30));
    EXPECT_TRUE(channel.Entered());
    EXPECT_EQ(entered, 1);
    ASSERT_EQ(tcp.size(), 1u);
    EXPECT_EQ(tcp[0].Type, msg::client_entergame);
    EXPECT_EQ(log.back(), "OK, Entering game.");
    EXPECT_EQ(channel.Ping(), 30);
    EXPECT_EQ(channel.CorrectedOffset(), 100000 - 15);
    EXPECT_EQ(timer.AveragePing(), 30);
    EXPECT_EQ(timer.Now(), 100000u + 100000u - 15u);

    channel.server_beat(Payload5(8, 201000));
    channel.server_beatackack(Payload5(8, 10));
    EXPECT_EQ(tcp.size(), 1u);  // later matches only update the timer
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(timer.AveragePing(), 20);
}

TEST_F(GameChannel, InGameBeatsFollowTheSequenceRule)
{
    Enter(10, 100000, 0);
    for (int s : {3, 9, 10, 11, 200, 5, 6, 7, 8}) {
        Enter(10, 100000, 0);  // back to sequence 10
        udp.clear();
        clock.Advance(50);
        channel.server_beat(Payload5(uint8_t(s), 100000));
        const bool accepted = !udp.empty();
        EXPECT_EQ(accepted, !(s >= 5 && s <= 8)) << s;
        EXPECT_EQ(channel.BeatSequence(), accepted ? s : 10) << s;
    }
    EXPECT_EQ(console.CountStartingWith("Received invalid BEAT sequence: Recvd: 7 Previous: 10"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Synchronizing..."), 1);

    Enter(0, 100000, 0);
    for (int s : {0, 1, 250, 255, 128}) {
        Enter(0, 100000, 0);
        udp.clear();
        clock.Advance(50);
        channel.server_beat(Payload5(uint8_t(s), 100000));
        EXPECT_EQ(udp.size(), 1u) << s;
    }
}

TEST_F(GameChannel, HeldKeyIsResentWithItsFirstTimeUntilAcknowledged)
{
    channel.LoginAccepted();
    Enter(1, 100000, 40);  // game time = tick count; average ping 40
    udp.clear();
    clock.Advance(1000);
    channel.KeyPressed(VK_UP);
    channel.KeyPressed(VK_UP);  // auto-repeat sends nothing
    ASSERT_EQ(udp.size(), 1u);
    EXPECT_EQ(udp[0].Type, msg::client_keydown);
    const TMoveRecord first = ReadMoveRecord(udp[0].Payload);
    EXPECT_EQ(first.Code, DirUp);
    EXPECT_EQ(first.KeyTime, timer.Now());
    EXPECT_EQ(first.TargetX, 0);

    // Not before twice the average ping has passed.
    clock.Advance(50);
    channel.RetransmitTimerTimer();
    EXPECT_EQ(udp.size(), 1u);
    clock.Advance(50);
    channel.RetransmitTimerTimer();
    ASSERT_EQ(udp.size(), 2u);
    const TMoveRecord again = ReadMoveRecord(udp[1].Payload);
    EXPECT_EQ(again.KeyTime, first.KeyTime);
    EXPECT_EQ(again.Sequence, uint8_t(first.Sequence + 1));
    EXPECT_EQ(channel.Retransmissions(), 1u);
    EXPECT_EQ(console.CountStartingWith("Retransmitting down: cgt:"), 1);

    // An acknowledgement of another time, or of code 6, changes nothing.
    channel.server_keydown_ack(Payload5(DirUp, first.KeyTime - 1));
    channel.server_keydown_ack(Payload5(DirWalk, first.KeyTime));
    EXPECT_FALSE(channel.DownAcked(VK_UP));
    channel.server_keydown_ack(Payload5(DirUp, first.KeyTime));
    EXPECT_TRUE(channel.DownAcked(VK_UP));
    clock.Advance(50);
    channel.RetransmitTimerTimer();
    EXPECT_EQ(udp.size(), 2u);
}

TEST_F(GameChannel, ReleaseBeforeTheAckStopsThePressAndIsResentItself)
{
    channel.LoginAccepted();
    Enter(1, 100000, 0);
    udp.clear();
    channel.KeyPressed(VK_LEFT);
    const uint32_t pressTime = timer.Now();
    clock.Advance(20);
    channel.KeyReleased(VK_LEFT);
    ASSERT_EQ(udp.size(), 2u);
    EXPECT_EQ(udp[1].Type, msg::client_keyup);
    EXPECT_EQ(ReadMoveRecord(udp[1].Payload).Code, DirLeft);
    const uint32_t releaseTime = ReadMoveRecord(udp[1].Payload).KeyTime;

    channel.server_keydown_ack(Payload5(DirLeft, pressTime));  // late: no longer matches
    EXPECT_FALSE(channel.DownAcked(VK_LEFT));
    clock.Advance(60);
    channel.RetransmitTimerTimer();
    ASSERT_EQ(udp.size(), 3u);
    EXPECT_EQ(udp[2].Type, msg::client_keyup);
    EXPECT_EQ(ReadMoveRecord(udp[2].Payload).KeyTime, releaseTime);
    EXPECT_EQ(console.CountStartingWith("Retransmitting up: cgt:"), 1);
    channel.server_keyup_ack(Payload5(DirLeft, releaseTime));
    clock.Advance(60);
    channel.RetransmitTimerTimer();
    EXPECT_EQ(udp.size(), 3u);
}

TEST_F(GameChannel, NothingIsResentBeforeTheLoginIsAccepted)
{
    channel.KeyPressed(VK_DOWN);
    clock.Advance(1000);
    channel.RetransmitTimerTimer();
    EXPECT_EQ(udp.size(), 1u);
}

TEST_F(GameChannel, WalkingWrapsTargetsAndRefreshesOnlyOnRealMoves)
{
    channel.LoginAccepted();
    channel.SendWalkTo(100, 100, -2, 3075);
    ASSERT_EQ(udp.size(), 1u);
    TMoveRecord walk = ReadMoveRecord(udp[0].Payload);
    EXPECT_EQ(walk.Code, DirWalk);
    EXPECT_EQ(walk.TargetX, 3070);
    EXPECT_EQ(walk.TargetY, 3);

    clock.Advance(100);
    channel.ResendWalkTarget(150, 100, 10, 10);  // small move, too soon
    EXPECT_EQ(udp.size(), 1u);
    channel.ResendWalkTarget(181, 100, 11, 10);  // more than 80 pixels
    EXPECT_EQ(udp.size(), 2u);
    clock.Advance(1001);
    channel.ResendWalkTarget(181, 100, 11, 10);  // unmoved
    EXPECT_EQ(udp.size(), 2u);
    channel.ResendWalkTarget(182, 100, 12, 10);  // moved, and over a second later
    ASSERT_EQ(udp.size(), 3u);
    EXPECT_EQ(ReadMoveRecord(udp[2].Payload).TargetX, 12);

    channel.SendWalkStop();
    EXPECT_FALSE(channel.Walking());
    ASSERT_EQ(udp.size(), 4u);
    EXPECT_EQ(udp[3].Type, msg::client_keyup);
    EXPECT_EQ(ReadMoveRecord(udp[3].Payload).Code, DirWalk);
    // Walking is never retransmitted.
    clock.Advance(500);
    channel.RetransmitTimerTimer();
    EXPECT_EQ(udp.size(), 4u);
}

}  // namespace
}  // namespace net
