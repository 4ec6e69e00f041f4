// Numbers and texts that the client, the server and the bots must agree on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace net {

// The protocol this client speaks: server_protocolversion must read exactly this,
// and client_protocolversion sends it.
inline constexpr std::string_view ProtocolVersion = "2";
// The client version text of client_version (the wire's, not the program's).
inline constexpr std::string_view ClientVersionText = "0.2.3";

// Texts of an actor record: longer ones are cut when stored.
inline constexpr size_t MaxNameLength = 47;
inline constexpr size_t MaxSpeechLength = 99;

// An actor farther than this from the player along either axis has left the view
// and is dropped from the actor list.
inline constexpr int ViewRangeX = 120;
inline constexpr int ViewRangeY = 75;

// Default ports.
inline constexpr uint16_t DefaultServerTcpPort = 12578;
inline constexpr uint16_t DefaultServerUdpPort = 12577;
inline constexpr uint16_t DefaultClientUdpPort = 28101;

}  // namespace net
