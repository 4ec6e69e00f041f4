// The payload codecs: every fixed layout round-trips, lies at its stated offsets in
// little-endian order, and a short payload is refused without touching the result.
#include "net/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace net {
namespace {

template <typename M>
std::string Bytes(const M& m)
{
    return std::string(Payload(m).View());
}

TEST(Messages, FixedLayoutsRoundTrip)
{
    const TNpcAdd add{-7, 0x1234, 8, 3, 3071, 17};
    TNpcAdd add2;
    ASSERT_TRUE(Decode(Bytes(add), add2));
    EXPECT_EQ(add2.ID, -7);
    EXPECT_EQ(add2.Shape, 0x1234);
    EXPECT_EQ(add2.Facing, 8);
    EXPECT_EQ(add2.Lift, 3);
    EXPECT_EQ(add2.X, 3071);
    EXPECT_EQ(add2.Y, 17);

    TNpcState state;
    state.ID = 0x40000001;
    state.Shape = 721;
    state.X = 940;
    state.Y = 1220;
    state.Lift = 2;
    state.Facing = 4;
    state.Flags = 1;
    state.DirX = -0.7071067811865476;
    state.DirY = 0.25;
    state.Spare1 = 5;
    state.Spare2 = 0xFFFF;
    state.Speed = 0.004f;
    state.LastTime = 0xFFFFFF06;
    TNpcState state2;
    ASSERT_TRUE(Decode(Bytes(state), state2));
    EXPECT_EQ(state2.ID, state.ID);
    EXPECT_EQ(state2.Shape, state.Shape);
    EXPECT_EQ(state2.X, state.X);
    EXPECT_EQ(state2.Y, state.Y);
    EXPECT_EQ(state2.Lift, state.Lift);
    EXPECT_EQ(state2.Facing, state.Facing);
    EXPECT_EQ(state2.Flags, state.Flags);
    EXPECT_EQ(state2.DirX, state.DirX);
    EXPECT_EQ(state2.DirY, state.DirY);
    EXPECT_EQ(state2.Spare1, state.Spare1);
    EXPECT_EQ(state2.Spare2, state.Spare2);
    EXPECT_EQ(state2.Speed, state.Speed);
    EXPECT_EQ(state2.LastTime, state.LastTime);

    TNpcRemove remove;
    ASSERT_TRUE(Decode(Bytes(TNpcRemove{123456}), remove));
    EXPECT_EQ(remove.ID, 123456);
    TPlayerId id;
    ASSERT_TRUE(Decode(Bytes(TPlayerId{-1}), id));
    EXPECT_EQ(id.ID, -1);
    TPlayerPos pos;
    ASSERT_TRUE(Decode(Bytes(TPlayerPos{2, 15, 3000, 7}), pos));
    EXPECT_EQ(pos.Facing, 2);
    EXPECT_EQ(pos.Lift, 15);
    EXPECT_EQ(pos.X, 3000);
    EXPECT_EQ(pos.Y, 7);
    TUdpPort port;
    ASSERT_TRUE(Decode(Bytes(TUdpPort{28101}), port));
    EXPECT_EQ(port.Port, 28101);
    TShape shape;
    ASSERT_TRUE(Decode(Bytes(TShape{900}), shape));
    EXPECT_EQ(shape.Shape, 900);
    TBeat beat;
    ASSERT_TRUE(Decode(Bytes(TBeat{200, 0xDEADBEEF}), beat));
    EXPECT_EQ(beat.Sequence, 200);
    EXPECT_EQ(beat.Time, 0xDEADBEEFu);
    TBeatAckAck ackack;
    ASSERT_TRUE(Decode(Bytes(TBeatAckAck{9, 31}), ackack));
    EXPECT_EQ(ackack.Sequence, 9);
    EXPECT_EQ(ackack.Ping, 31u);
    TKeyAck keyAck;
    ASSERT_TRUE(Decode(Bytes(TKeyAck{4, 77}), keyAck));
    EXPECT_EQ(keyAck.Code, 4);
    EXPECT_EQ(keyAck.KeyTime, 77u);
    TMoveRecord move;
    ASSERT_TRUE(Decode(Bytes(TMoveRecord{255, 6, 3070, 3, 0x01020304}), move));
    EXPECT_EQ(move.Sequence, 255);
    EXPECT_EQ(move.Code, 6);
    EXPECT_EQ(move.TargetX, 3070);
    EXPECT_EQ(move.TargetY, 3);
    EXPECT_EQ(move.KeyTime, 0x01020304u);
}

TEST(Messages, FieldsLieLittleEndianAtTheirOffsetsWithUnreadBytesZero)
{
    EXPECT_EQ(Bytes(TNpcAdd{0x04030201, 0x0605, 7, 8, 0x0A09, 0x0C0B}),
              std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C", 12));
    EXPECT_EQ(Bytes(TNpcRemove{0x04030201}), std::string("\x01\x02\x03\x04\0\0\0\0", 8));
    EXPECT_EQ(Bytes(TPlayerPos{1, 2, 0x0403, 0x0605}), std::string("\x01\x02\x03\x04\x05\x06\0", 7));
    EXPECT_EQ(Bytes(TUdpPort{28101}), std::string("\xC5\x6D", 2));
    EXPECT_EQ(Bytes(TMoveRecord{1, 2, 0x0403, 0x0605, 0x0E0D0C0B}),
              std::string("\x01\x02\x03\x04\x05\x06\0\0\0\0\x0B\x0C\x0D\x0E", 14));
    EXPECT_EQ(Bytes(TKeyAck{3, 0x04030201}), std::string("\x03\x01\x02\x03\x04", 5));

    TNpcState state;
    state.ID = 1;
    state.Flags = 1;
    state.DirX = 1.0;   // 00 00 00 00 00 00 F0 3F
    state.DirY = -2.0;  // 00 00 00 00 00 00 00 C0
    state.Spare1 = 0x2211;
    state.Spare2 = 0x4433;
    state.Speed = 0.5f;  // 00 00 00 3F
    state.LastTime = 0x88776655;
    const std::string b = Bytes(state);
    ASSERT_EQ(b.size(), 45u);
    EXPECT_EQ(b[12], '\x01');
    EXPECT_EQ(b.substr(13, 4), std::string(4, '\0'));
    EXPECT_EQ(b.substr(17, 8), std::string("\0\0\0\0\0\0\xF0\x3F", 8));
    EXPECT_EQ(b.substr(25, 8), std::string("\0\0\0\0\0\0\0\xC0", 8));
    EXPECT_EQ(b.substr(33, 4), "\x11\x22\x33\x44");
    EXPECT_EQ(b.substr(37, 4), std::string("\0\0\0\x3F", 4));
    EXPECT_EQ(b.substr(41, 4), "\x55\x66\x77\x88");
}

TEST(Messages, SpeechCarriesItsTextAfterTheFixedFront)
{
    std::string payload;
    Encode(TNpcSay{5, 5000, "hello"}, payload);
    EXPECT_EQ(payload, std::string("\x05\0\0\0\x88\x13\0\0hello", 13));
    TNpcSay say;
    ASSERT_TRUE(Decode(payload, say));
    EXPECT_EQ(say.ID, 5);
    EXPECT_EQ(say.Duration, 5000u);
    EXPECT_EQ(say.Text, "hello");

    // An empty text is a whole message; the encoder replaces what `out` held.
    Encode(TNpcSay{6, 1, ""}, payload);
    ASSERT_TRUE(Decode(payload, say));
    EXPECT_EQ(say.ID, 6);
    EXPECT_TRUE(say.Text.empty());
}

TEST(Messages, ShortPayloadIsRefusedAndLeavesTheResultAsItWas)
{
    const std::string state = Bytes(TNpcState{});
    TNpcState s;
    s.ID = 99;
    EXPECT_FALSE(Decode(std::string_view(state).substr(0, 44), s));
    EXPECT_EQ(s.ID, 99);

    TMoveRecord m;
    m.KeyTime = 5;
    EXPECT_FALSE(Decode(std::string_view("\x01\x02\x03", 3), m));
    EXPECT_EQ(m.KeyTime, 5u);

    TBeat beat{7, 8};
    EXPECT_FALSE(Decode(std::string_view("\x01\x02\x03\x04", 4), beat));
    EXPECT_EQ(beat.Sequence, 7);
    TNpcSay say;
    EXPECT_FALSE(Decode(std::string_view("\x01\x02\x03\x04\x05\x06\x07", 7), say));
    TPlayerPos pos;
    EXPECT_FALSE(Decode(std::string_view("\x01\x02\x03\x04\x05\x06", 6), pos));
    TUdpPort port;
    EXPECT_FALSE(Decode(std::string_view("\x01", 1), port));
    EXPECT_FALSE(Decode(std::string_view(), port));

    // Bytes after the layout are ignored.
    TPlayerId id;
    ASSERT_TRUE(Decode(std::string_view("\x01\0\0\0\xFF\xFF", 6), id));
    EXPECT_EQ(id.ID, 1);
}

TEST(Messages, FramedMessageHasTheHeaderThenThePayload)
{
    TByteString out = "x";
    AppendMessage(out, msg::client_udpport, TUdpPort{28101});
    EXPECT_EQ(out, std::string("x\x02\0\0\x28\xC5\x6D", 7));
}

}  // namespace
}  // namespace net
