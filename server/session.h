// One client connection of the server: its socket-table entry, the stage its
// handshake has reached, its UDP beats and its limits.
#pragma once

#include <QHostAddress>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <set>
#include <string>

#include "accounts.h"
#include "chat.h"
#include "handshake.h"
#include "net/protocol.h"

class QTcpSocket;
class QUdpSocket;

namespace server {

struct TActor;

// Where a connection's password stands.
enum class EPassword {
    None,      // none received, or answered
    Waiting,   // queued behind its account's running check or its address's delay
    Checking,  // on a worker thread
};

struct TSession {
    QTcpSocket* Socket = nullptr;
    QUdpSocket* Endpoint = nullptr;  // from login on; owned by the session
    int32_t Index = net::NoSocket;
    uint64_t Serial = 0;  // unique for the server's life: a later session at this index differs
    std::string Address;  // dotted decimal
    uint16_t Port = 0;
    QHostAddress LocalAddress;  // the server address the client's TCP connection reached
    net::TReceiveBuffer In;
    EStage Stage = EStage::Connected;
    bool Closing = false;
    uint32_t ClosingSince = 0;
    bool ReadQueued = false;  // a later turn will go on reading its TCP input
    uint32_t ConnectedAt = 0;
    uint32_t LastHeard = 0;       // tick count of its last accepted message
    bool IdentityAnswered = false;

    QString Name;
    bool NameWaiting = false;  // Name is answered at NameDue
    uint32_t NameDue = 0;
    int64_t AccountId = 0;
    TAccount Account;  // as read at login
    bool LoginMarked = false;  // the database marks the account as playing here
    // While its password waits or is checked, messages that arrive wait in Deferred
    // and are handled, in order, once the answer is in.
    EPassword Password = EPassword::None;
    std::string PendingPassword;
    std::deque<std::pair<uint32_t, std::string>> Deferred;
    size_t DeferredBytes = 0;
    // A new account counted against its address from the moment its check started;
    // given back when no account comes of it.
    bool AccountReserved = false;
    uint32_t AccountReservedAt = 0;
    uint16_t Shape = 0;
    bool ShapeGiven = false;
    TActor* Actor = nullptr;
    std::set<int32_t> Known;  // actors this client has been sent

    // The client's UDP endpoint, fixed by its first client_udpport.
    bool UdpKnown = false;
    QHostAddress UdpAddress;
    uint16_t UdpPort = 0;
    // Movement records: the sequence and time of the last one applied, per direction code.
    std::array<uint8_t, 8> MoveSequence{};
    std::array<uint32_t, 8> MoveAppliedAt{};
    std::array<bool, 8> MoveSeen{};
    // Beats: each sequence remembers when it went out, for the ping.
    uint8_t BeatSequence = 0;
    uint32_t NextBeat = 0;
    std::array<uint32_t, 256> BeatSentAt{};
    std::array<bool, 256> BeatOut{};

    // Limits.
    TChatLimiter Chat;
    uint32_t BudgetSecond = 0;
    int BudgetUsed = 0;
    uint64_t DatagramsRefused = 0;
    uint64_t MessagesDropped = 0;  // not allowed at its stage
    // Its share of the console: lines in the current window, and those held back.
    uint32_t LogWindowStart = 0;
    int LogLines = 0;
    uint64_t LogSuppressed = 0;
};

// Overwrites a password kept for its check before letting it go.
inline void ForgetPassword(TSession& session)
{
    std::fill(session.PendingPassword.begin(), session.PendingPassword.end(), '\0');
    session.PendingPassword.clear();
}

// A client-supplied text as it may appear in a log line: printable Latin-1 as UTF-8,
// every other byte (and the backslash) as \xNN, cut to `limit` bytes of input with
// "..." after it when cut.
std::string LogText(std::string_view text, size_t limit = 48);

}  // namespace server
