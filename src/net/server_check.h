// A look at a game server without logging in: the start of the login handshake up to
// the identity, then a polite close. The server sends its welcome and protocol
// version on its own; with protocol "2" the check sends the client's version,
// protocol and world identity, as a login would, and the server answers with the
// identity of its world. The check sends no name, so no server counts it as a login,
// failed or not. What it found: whether the server answered, its world and whether
// that is the player's, and the round trip from the identity sent to its answer.
// Plain logic over bytes and the tick count; the login window's probe gives it a
// socket, tests give it bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/protocol.h"

namespace net {

struct TServerCheckResult {
    enum class EState {
        Checking,
        Answered,    // identity (or another protocol) read: Identity, SameWorld, RoundTrip
        Full,        // the server refused the connection with server_full
        NoAnswer,    // connected, but nothing usable came in time, or it closed first
        Unreachable, // no connection: Fault says why
    };
    EState State = EState::Checking;
    std::string Welcome;          // as sent, cut to MaxText bytes
    std::string ProtocolVersion;  // as sent, cut to MaxText bytes
    std::string Identity;         // the server's world, cut to MaxText bytes
    bool SameProtocol = false;
    bool SameWorld = false;       // exactly the player's world identity
    int32_t RoundTrip = -1;       // ms from client_identity to server_identity; -1 unknown
    std::string Fault;            // server_full's text, or why there was no connection
};

class TServerCheck {
public:
    static constexpr uint32_t Timeout = 5000;        // ms for the whole check
    static constexpr size_t MaxUnframed = 16 * 1024; // more without a whole message: no answer
    static constexpr size_t MaxText = 200;

    // `write` sends bytes on the connection; `close` ends it politely (what was
    // written goes out first). Each is called at most as described.
    TServerCheck(std::string worldIdentity, std::function<void(std::string_view)> write,
                 std::function<void()> close);

    // The connection is made (the timeout runs from Start).
    void Start(uint32_t now) { startedAt_ = now; }
    void Connected(uint32_t now);
    // Bytes from the server.
    void Read(std::string_view bytes, uint32_t now);
    // The connection failed before or while connecting.
    void Failed(std::string_view fault);
    // The server closed the connection.
    void Closed();
    // Whether the check ran out of time at `now` (it then closes and reports no answer).
    bool TimedOut(uint32_t now);

    bool Done() const { return result_.State != TServerCheckResult::EState::Checking; }
    const TServerCheckResult& Result() const { return result_; }

private:
    void Message(uint32_t type, std::string_view payload, uint32_t now);
    void Finish(TServerCheckResult::EState state);

    std::string identity_;
    std::function<void(std::string_view)> write_;
    std::function<void()> close_;
    TReceiveBuffer in_;
    std::string out_;
    TServerCheckResult result_;
    uint32_t startedAt_ = 0;
    uint32_t identitySentAt_ = 0;
    bool identitySent_ = false;
    bool connected_ = false;
};

}  // namespace net
