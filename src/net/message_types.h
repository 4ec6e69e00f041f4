// The catalogue of message type codes with the payload kind and size of each, shared
// by client and server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/message_layouts.h"

namespace net {

// A type code is the 32-bit header word with the length bits (0-15) zero. Every code
// in use has header byte 2 equal to 0, so byte 3 alone tells the types apart.
namespace msg {
inline constexpr uint32_t server_npc_add = 0x04000000;
inline constexpr uint32_t server_npc_remove = 0x05000000;
inline constexpr uint32_t client_shape = 0x07000000;
inline constexpr uint32_t client_version = 0x08000000;
inline constexpr uint32_t client_protocolversion = 0x09000000;
inline constexpr uint32_t server_identity = 0x0A000000;
inline constexpr uint32_t client_identity = 0x0B000000;
inline constexpr uint32_t client_chat = 0x0F000000;
inline constexpr uint32_t server_notice = 0x10000000;
inline constexpr uint32_t server_beat = 0x1A000000;
inline constexpr uint32_t client_beatack = 0x1B000000;
inline constexpr uint32_t client_name = 0x1C000000;
inline constexpr uint32_t client_password = 0x1E000000;
inline constexpr uint32_t server_badname = 0x1F000000;
inline constexpr uint32_t server_full = 0x20000000;
inline constexpr uint32_t server_badpassword = 0x21000000;
inline constexpr uint32_t server_ip_inuse = 0x26000000;
inline constexpr uint32_t server_udpport = 0x27000000;
inline constexpr uint32_t client_udpport = 0x28000000;
inline constexpr uint32_t client_entergame = 0x29000000;
inline constexpr uint32_t server_nameok = 0x2B000000;
inline constexpr uint32_t client_keydown = 0x2C000000;
inline constexpr uint32_t server_beatackack = 0x2D000000;
inline constexpr uint32_t client_keyup = 0x2E000000;
inline constexpr uint32_t server_npc_state = 0x2F000000;
inline constexpr uint32_t server_welcome = 0x30000000;
inline constexpr uint32_t server_keyup_ack = 0x32000000;
inline constexpr uint32_t server_keydown_ack = 0x33000000;
inline constexpr uint32_t server_version = 0x40000000;
inline constexpr uint32_t server_protocolversion = 0x50000000;
inline constexpr uint32_t server_player_id = 0xC0000000;
inline constexpr uint32_t server_npc_say = 0xD0000000;
inline constexpr uint32_t server_player_pos = 0xE0000000;
}  // namespace msg

enum class EPayload : uint8_t {
    Empty,          // nothing
    Fixed,          // exactly the layout's bytes
    FixedThenText,  // the layout's bytes, then a text to the end of the payload
    Text,           // bare characters, length from the header
    Unread,         // whatever it holds is never looked at
};

struct TMessageInfo {
    uint32_t Type;
    std::string_view Name;
    EPayload Payload;
    size_t Layout;  // bytes at fixed offsets; 0 for Empty, Text and Unread
};

inline constexpr TMessageInfo MessageCatalogue[] = {
    {msg::server_npc_add, "server_npc_add", EPayload::Fixed, TNpcAdd::Size},
    {msg::server_npc_remove, "server_npc_remove", EPayload::Fixed, TNpcRemove::Size},
    {msg::client_shape, "client_shape", EPayload::Fixed, TShape::Size},
    {msg::client_version, "client_version", EPayload::Text, 0},
    {msg::client_protocolversion, "client_protocolversion", EPayload::Text, 0},
    {msg::server_identity, "server_identity", EPayload::Text, 0},
    {msg::client_identity, "client_identity", EPayload::Text, 0},
    {msg::client_chat, "client_chat", EPayload::Text, 0},
    {msg::server_notice, "server_notice", EPayload::Text, 0},
    {msg::server_beat, "server_beat", EPayload::Fixed, TBeat::Size},
    {msg::client_beatack, "client_beatack", EPayload::Fixed, TBeat::Size},
    {msg::client_name, "client_name", EPayload::Text, 0},
    {msg::client_password, "client_password", EPayload::Text, 0},
    {msg::server_badname, "server_badname", EPayload::Unread, 0},
    {msg::server_full, "server_full", EPayload::Text, 0},
    {msg::server_badpassword, "server_badpassword", EPayload::Unread, 0},
    {msg::server_ip_inuse, "server_ip_inuse", EPayload::Unread, 0},
    {msg::server_udpport, "server_udpport", EPayload::Fixed, TUdpPort::Size},
    {msg::client_udpport, "client_udpport", EPayload::Fixed, TUdpPort::Size},
    {msg::client_entergame, "client_entergame", EPayload::Empty, 0},
    {msg::server_nameok, "server_nameok", EPayload::Unread, 0},
    {msg::client_keydown, "client_keydown", EPayload::Fixed, TMoveRecord::Size},
    {msg::server_beatackack, "server_beatackack", EPayload::Fixed, TBeatAckAck::Size},
    {msg::client_keyup, "client_keyup", EPayload::Fixed, TMoveRecord::Size},
    {msg::server_npc_state, "server_npc_state", EPayload::Fixed, TNpcState::Size},
    {msg::server_welcome, "server_welcome", EPayload::Text, 0},
    {msg::server_keyup_ack, "server_keyup_ack", EPayload::Fixed, TKeyAck::Size},
    {msg::server_keydown_ack, "server_keydown_ack", EPayload::Fixed, TKeyAck::Size},
    {msg::server_version, "server_version", EPayload::Text, 0},
    {msg::server_protocolversion, "server_protocolversion", EPayload::Text, 0},
    {msg::server_player_id, "server_player_id", EPayload::Fixed, TPlayerId::Size},
    {msg::server_npc_say, "server_npc_say", EPayload::FixedThenText, TNpcSay::Size},
    {msg::server_player_pos, "server_player_pos", EPayload::Fixed, TPlayerPos::Size},
};

// The catalogue entry of a type code, or nullptr for a code outside the catalogue.
constexpr const TMessageInfo* FindMessage(uint32_t type)
{
    for (const TMessageInfo& info : MessageCatalogue)
        if (info.Type == type)
            return &info;
    return nullptr;
}

// The message's name, or "" for a code outside the catalogue.
constexpr std::string_view MessageName(uint32_t type)
{
    const TMessageInfo* info = FindMessage(type);
    return info ? info->Name : std::string_view{};
}

// Whether the payload holds at least the bytes its layout reads. A shorter one is
// reported with one console line naming the message and its length, and the caller
// drops the message, so that nothing reads past a payload.
bool PayloadFits(uint32_t type, std::string_view payload);

}  // namespace net
