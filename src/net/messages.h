// Messages as the client session, vxserver and vxbot send and read them: the layouts
// (message_layouts.h) with their Encode and Decode, and payloads framed without
// allocating. Text messages (welcome, notice, version, identity, name, password,
// chat, full) carry the bare characters, their length given by the header, and need
// no codec. A short payload is reported by the caller (PayloadFits in
// message_types.h names the message in a console line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/message_types.h"
#include "net/protocol.h"

namespace net {

// server_npc_say has a text of its own length: `out` is replaced by the payload.
inline void Encode(const TNpcSay& m, TByteString& out)
{
    out.resize(TNpcSay::Size);
    Encode(m, out.data());
    out.append(m.Text);
}

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
