// One encoder and one decoder for every message with a payload layout, shared by the
// client session, vxserver and vxbot. Text messages (welcome, notice, version,
// identity, name, password, chat, full) carry the bare characters, their length given
// by the header, and need no codec.
//
// Every integer is little-endian and every floating-point value IEEE 754. A decoder
// returns false, and leaves its result untouched, when the payload is shorter than
// the layout; bytes after the layout are ignored. The caller reports the short payload
// (PayloadFits in message_types.h names the message in a console line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/message_types.h"
#include "net/protocol.h"

namespace net {

// server_npc_add: an actor comes into view.
//   0 ID (32)  4 Shape (16)  6 Facing (8)  7 Lift (8)  8 X (16)  10 Y (16)
struct TNpcAdd {
    static constexpr size_t Size = layout::server_npc_add;
    int32_t ID = 0;
    uint16_t Shape = 0;
    uint8_t Facing = 0;
    uint8_t Lift = 0;
    uint16_t X = 0, Y = 0;
};

// server_npc_remove: 0 ID (32), then 4 bytes nobody reads (sent as zero).
struct TNpcRemove {
    static constexpr size_t Size = layout::server_npc_remove;
    int32_t ID = 0;
};

// server_npc_state: the full state of an actor.
//   0 ID (32)  4 Shape (16)  6 X (16)  8 Y (16)  10 Lift (8)  11 Facing (8)  12 Flags (8)
//   13 four unread bytes (sent as zero)  17 DirX (64-bit float)  25 DirY (64-bit float)
//   33 Spare1 (16)  35 Spare2 (16)  37 Speed (32-bit float, tiles per ms)
//   41 LastTime (32, game time at which this position holds)
struct TNpcState {
    static constexpr size_t Size = layout::server_npc_state;
    int32_t ID = 0;
    uint16_t Shape = 0;
    uint16_t X = 0, Y = 0;
    uint8_t Lift = 0, Facing = 0, Flags = 0;
    double DirX = 0, DirY = 0;
    uint16_t Spare1 = 0xFFFF, Spare2 = 0xFFFF;
    float Speed = 0;
    uint32_t LastTime = 0;
};

// server_npc_say: 0 ID (32)  4 duration in ms (32)  8 the text, to the end.
// The decoded Text views the payload.
struct TNpcSay {
    static constexpr size_t Size = layout::server_npc_say;  // the fixed front
    int32_t ID = 0;
    uint32_t Duration = 0;
    std::string_view Text;
};

// server_player_id: 0 the player's own actor ID (32).
struct TPlayerId {
    static constexpr size_t Size = layout::server_player_id;
    int32_t ID = 0;
};

// server_player_pos: 0 Facing (8)  1 Lift (8)  2 X (16)  4 Y (16)  6 one unread byte.
struct TPlayerPos {
    static constexpr size_t Size = layout::server_player_pos;
    uint8_t Facing = 0, Lift = 0;
    uint16_t X = 0, Y = 0;
};

// server_udpport and client_udpport: 0 the sender's UDP port (16).
struct TUdpPort {
    static constexpr size_t Size = layout::server_udpport;
    uint16_t Port = 0;
};

// client_shape: 0 CharacterShape (16).
struct TShape {
    static constexpr size_t Size = layout::client_shape;
    uint16_t Shape = 0;
};

// server_beat: 0 sequence (8)  1 server time in ms (32). client_beatack echoes it
// unchanged.
struct TBeat {
    static constexpr size_t Size = layout::server_beat;
    uint8_t Sequence = 0;
    uint32_t Time = 0;
};

// server_beatackack: 0 sequence (8)  1 ping in ms as the server measured it (32).
struct TBeatAckAck {
    static constexpr size_t Size = layout::server_beatackack;
    uint8_t Sequence = 0;
    uint32_t Ping = 0;
};

// server_keydown_ack and server_keyup_ack: 0 direction code (8)  1 key time (32).
struct TKeyAck {
    static constexpr size_t Size = layout::server_keydown_ack;
    uint8_t Code = 0;
    uint32_t KeyTime = 0;
};

// client_keydown and client_keyup, the movement record:
//   0 sequence (MoveSeq after its increment)  1 direction code
//   2 target X (16)  4 target Y (16): code 6 in client_keydown, else 0
//   6 reserved (32, always 0)  10 key time (32): game time of the press or release;
//   a retransmission repeats it
struct TMoveRecord {
    static constexpr size_t Size = layout::client_keydown;
    uint8_t Sequence = 0;
    uint8_t Code = 0;
    uint16_t TargetX = 0, TargetY = 0;
    uint32_t KeyTime = 0;
};

// Encoders write exactly M::Size bytes to `out`.
void Encode(const TNpcAdd& m, char* out);
void Encode(const TNpcRemove& m, char* out);
void Encode(const TNpcState& m, char* out);
void Encode(const TPlayerId& m, char* out);
void Encode(const TPlayerPos& m, char* out);
void Encode(const TUdpPort& m, char* out);
void Encode(const TShape& m, char* out);
void Encode(const TBeat& m, char* out);
void Encode(const TBeatAckAck& m, char* out);
void Encode(const TKeyAck& m, char* out);
void Encode(const TMoveRecord& m, char* out);
// server_npc_say has a text of its own length: `out` is replaced by the payload.
void Encode(const TNpcSay& m, TByteString& out);

bool Decode(std::string_view payload, TNpcAdd& m);
bool Decode(std::string_view payload, TNpcRemove& m);
bool Decode(std::string_view payload, TNpcState& m);
bool Decode(std::string_view payload, TNpcSay& m);
bool Decode(std::string_view payload, TPlayerId& m);
bool Decode(std::string_view payload, TPlayerPos& m);
bool Decode(std::string_view payload, TUdpPort& m);
bool Decode(std::string_view payload, TShape& m);
bool Decode(std::string_view payload, TBeat& m);
bool Decode(std::string_view payload, TBeatAckAck& m);
bool Decode(std::string_view payload, TKeyAck& m);
bool Decode(std::string_view payload, TMoveRecord& m);

// A fixed-layout payload on the stack, for sending without allocating:
//   SendTCP(session, msg::server_player_id, Payload(TPlayerId{id}).View());
template <typename M>
struct TPayload {
    char Bytes[M::Size];
    std::string_view View() const { return std::string_view(Bytes, M::Size); }
};

template <typename M>
TPayload<M> Payload(const M& m)
{
    TPayload<M> p;
    Encode(m, p.Bytes);
    return p;
}

// The framed message of a fixed-layout payload, appended to `out`.
template <typename M>
void AppendMessage(TByteString& out, uint32_t type, const M& m)
{
    TVxProtocolFormat::AppendMessage(out, type, Payload(m).View());
}

}  // namespace net
