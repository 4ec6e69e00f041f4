// One client connection of the server: its socket-table entry, the stage its
// handshake has reached, its UDP beats and its limits.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <set>
#include <string>

#include "accounts.h"
#include "chat.h"
#include "net/protocol.h"

class QHostAddress;
class QTcpSocket;
class QUdpSocket;

namespace server {

// Plain dotted-decimal IPv4 text, also for an IPv4-mapped IPv6 address, so that
// addresses from the TCP and UDP sides compare equal.
std::string AddressText(const QHostAddress& address);

struct TActor;

enum class EStage {
    Connected,      // welcome and protocol version sent
    Named,          // client_name accepted
    LoggedIn,       // password accepted, server_udpport sent
    InGame,         // client_entergame
};

struct TSession {
    QTcpSocket* Socket = nullptr;
    QUdpSocket* Endpoint = nullptr;
    int32_t Index = net::NoSocket;
    std::string Address;  // dotted decimal
    uint16_t Port = 0;
    net::TReceiveBuffer In;
    EStage Stage = EStage::Connected;
    bool Closing = false;
    uint32_t ConnectedAt = 0;

    QString Name;
    int64_t AccountId = 0;
    TAccount Account;  // as read at login
    // Nonzero while its password is checked on a worker thread. Messages that arrive
    // meanwhile wait in Deferred and are handled, in order, once the answer is in.
    uint64_t PasswordTicket = 0;
    std::deque<std::pair<uint32_t, std::string>> Deferred;
    size_t DeferredBytes = 0;
    uint16_t Shape = 0;
    bool ShapeGiven = false;
    TActor* Actor = nullptr;
    std::set<int32_t> Known;  // actors this client has been sent

    // Beats: each sequence remembers when it went out, for the ping.
    bool UdpKnown = false;
    uint8_t BeatSequence = 0;
    uint32_t NextBeat = 0;
    std::array<uint32_t, 256> BeatSentAt{};
    std::array<bool, 256> BeatOut{};

    // Limits.
    TChatLimiter Chat;
    uint32_t BudgetSecond = 0;
    int BudgetUsed = 0;
    uint64_t DatagramsRefused = 0;
    int IgnoredLogged = 0;  // console lines about ignored messages, capped per connection
};

}  // namespace server
