// The payload layout of every message that has one, each described once: its fields
// in wire order with their offsets. The layout's size, the catalogue's length check,
// Encode and Decode all follow from that description, so a new message is one struct
// here and one row in the catalogue.
//
// Every integer is little-endian and every floating-point value IEEE 754. A decoder
// returns false, and leaves its result untouched, when the payload is shorter than
// the layout; bytes after the layout are ignored. Bytes a layout carries that nobody
// reads are sent as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "platform/byte_order.h"

namespace net {

// One field: where it stands and which member carries it.
template <typename M, typename T>
struct TField {
    size_t Offset;
    T M::*Member;
    constexpr size_t End() const { return Offset + sizeof(T); }
};

// Bytes that nobody reads.
struct TUnread {
    size_t Offset;
    size_t Bytes;
    constexpr size_t End() const { return Offset + Bytes; }
};

template <typename M, typename T>
constexpr TField<M, T> Field(size_t offset, T M::*member)
{
    return {offset, member};
}
constexpr TUnread Unread(size_t offset, size_t bytes) { return {offset, bytes}; }

// Where the last field ends. The fields must follow one another without gaps or
// overlaps: a description that does not fails to compile.
template <typename... F>
constexpr size_t LayoutSize(const std::tuple<F...>& fields)
{
    size_t end = 0;
    bool follows = true;
    std::apply([&](const auto&... f) { ((follows = follows && f.Offset == end, end = f.End()), ...); }, fields);
    if (!follows)
        throw "a layout's fields must follow one another";
    return end;
}

// server_npc_add: an actor comes into view.
struct TNpcAdd {
    int32_t ID = 0;
    uint16_t Shape = 0;
    uint8_t Facing = 0;
    uint8_t Lift = 0;
    uint16_t X = 0, Y = 0;
    static constexpr std::tuple Fields{Field(0, &TNpcAdd::ID),     Field(4, &TNpcAdd::Shape), Field(6, &TNpcAdd::Facing),
                                       Field(7, &TNpcAdd::Lift),   Field(8, &TNpcAdd::X),     Field(10, &TNpcAdd::Y)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_npc_remove: the actor's ID, then four bytes nobody reads.
struct TNpcRemove {
    int32_t ID = 0;
    static constexpr std::tuple Fields{Field(0, &TNpcRemove::ID), Unread(4, 4)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_npc_state: the full state of an actor. Speed is in tiles per ms; LastTime is
// the game time at which this position holds.
struct TNpcState {
    int32_t ID = 0;
    uint16_t Shape = 0;
    uint16_t X = 0, Y = 0;
    uint8_t Lift = 0, Facing = 0, Flags = 0;
    double DirX = 0, DirY = 0;
    uint16_t Spare1 = 0xFFFF, Spare2 = 0xFFFF;
    float Speed = 0;
    uint32_t LastTime = 0;
    static constexpr std::tuple Fields{
        Field(0, &TNpcState::ID),      Field(4, &TNpcState::Shape),   Field(6, &TNpcState::X),
        Field(8, &TNpcState::Y),       Field(10, &TNpcState::Lift),   Field(11, &TNpcState::Facing),
        Field(12, &TNpcState::Flags),  Unread(13, 4),                 Field(17, &TNpcState::DirX),
        Field(25, &TNpcState::DirY),   Field(33, &TNpcState::Spare1), Field(35, &TNpcState::Spare2),
        Field(37, &TNpcState::Speed),  Field(41, &TNpcState::LastTime)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_npc_say: the speaker and how long the line shows (ms), then the text to the
// end of the payload. The decoded Text views the payload.
struct TNpcSay {
    int32_t ID = 0;
    uint32_t Duration = 0;
    std::string_view Text;
    static constexpr std::tuple Fields{Field(0, &TNpcSay::ID), Field(4, &TNpcSay::Duration)};
    static constexpr size_t Size = LayoutSize(Fields);  // the fixed front
};

// server_player_id: the player's own actor ID.
struct TPlayerId {
    int32_t ID = 0;
    static constexpr std::tuple Fields{Field(0, &TPlayerId::ID)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_player_pos: where the player enters, then one byte nobody reads.
struct TPlayerPos {
    uint8_t Facing = 0, Lift = 0;
    uint16_t X = 0, Y = 0;
    static constexpr std::tuple Fields{Field(0, &TPlayerPos::Facing), Field(1, &TPlayerPos::Lift),
                                       Field(2, &TPlayerPos::X), Field(4, &TPlayerPos::Y), Unread(6, 1)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_udpport and client_udpport: the sender's UDP port.
struct TUdpPort {
    uint16_t Port = 0;
    static constexpr std::tuple Fields{Field(0, &TUdpPort::Port)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// client_shape: the character's shape.
struct TShape {
    uint16_t Shape = 0;
    static constexpr std::tuple Fields{Field(0, &TShape::Shape)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_beat: a sequence and the server's time in ms. client_beatack echoes it
// unchanged.
struct TBeat {
    uint8_t Sequence = 0;
    uint32_t Time = 0;
    static constexpr std::tuple Fields{Field(0, &TBeat::Sequence), Field(1, &TBeat::Time)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_beatackack: the beat's sequence and the ping in ms as the server measured it.
struct TBeatAckAck {
    uint8_t Sequence = 0;
    uint32_t Ping = 0;
    static constexpr std::tuple Fields{Field(0, &TBeatAckAck::Sequence), Field(1, &TBeatAckAck::Ping)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// server_keydown_ack and server_keyup_ack: the direction code and the key time.
struct TKeyAck {
    uint8_t Code = 0;
    uint32_t KeyTime = 0;
    static constexpr std::tuple Fields{Field(0, &TKeyAck::Code), Field(1, &TKeyAck::KeyTime)};
    static constexpr size_t Size = LayoutSize(Fields);
};

// client_keydown and client_keyup, the movement record: the sequence (MoveSeq after
// its increment), the direction code, the target tile (code 6 in client_keydown, else
// 0), four reserved bytes (always 0) and the key time: the game time of the press or
// release, which a retransmission repeats.
struct TMoveRecord {
    uint8_t Sequence = 0;
    uint8_t Code = 0;
    uint16_t TargetX = 0, TargetY = 0;
    uint32_t KeyTime = 0;
    static constexpr std::tuple Fields{Field(0, &TMoveRecord::Sequence), Field(1, &TMoveRecord::Code),
                                       Field(2, &TMoveRecord::TargetX),  Field(4, &TMoveRecord::TargetY),
                                       Unread(6, 4),                     Field(10, &TMoveRecord::KeyTime)};
    static constexpr size_t Size = LayoutSize(Fields);
};

namespace wire {

template <typename T>
void Put(char* out, T v)
{
    if constexpr (std::is_same_v<T, float>)
        platform::PutF32(out, v);
    else if constexpr (std::is_same_v<T, double>)
        platform::PutF64(out, v);
    else if constexpr (sizeof(T) == 1)
        platform::PutU8(out, uint8_t(v));
    else if constexpr (sizeof(T) == 2)
        platform::PutU16(out, uint16_t(v));
    else
        platform::PutU32(out, uint32_t(v));
    static_assert(std::is_arithmetic_v<T> && sizeof(T) <= 8);
}

template <typename T>
T Get(const char* in)
{
    if constexpr (std::is_same_v<T, float>)
        return platform::GetF32(in);
    else if constexpr (std::is_same_v<T, double>)
        return platform::GetF64(in);
    else if constexpr (sizeof(T) == 1)
        return T(platform::GetU8(in));
    else if constexpr (sizeof(T) == 2)
        return T(platform::GetU16(in));
    else
        return T(platform::GetU32(in));
}

template <typename M, typename T>
void Put(char* out, const M& m, const TField<M, T>& f)
{
    Put<T>(out + f.Offset, m.*f.Member);
}
template <typename M>
void Put(char* out, const M&, const TUnread& f)
{
    std::memset(out + f.Offset, 0, f.Bytes);
}
template <typename M, typename T>
void Get(const char* in, M& m, const TField<M, T>& f)
{
    m.*f.Member = Get<T>(in + f.Offset);
}
template <typename M>
void Get(const char*, M&, const TUnread&)
{
}

}  // namespace wire

// Writes exactly M::Size bytes to `out`.
template <typename M>
void Encode(const M& m, char* out)
{
    std::apply([&](const auto&... f) { (wire::Put(out, m, f), ...); }, M::Fields);
}

template <typename M>
bool Decode(std::string_view payload, M& m)
{
    if (payload.size() < M::Size)
        return false;
    std::apply([&](const auto&... f) { (wire::Get(payload.data(), m, f), ...); }, M::Fields);
    return true;
}

// server_npc_say's text follows the fixed front.
inline bool Decode(std::string_view payload, TNpcSay& m)
{
    if (!Decode<TNpcSay>(payload, m))
        return false;
    m.Text = payload.substr(TNpcSay::Size);
    return true;
}

}  // namespace net
