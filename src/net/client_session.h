// The client's side of a connection to the game server, without sockets, timers or
// windows: the TCP connection's events and log texts, the send path with its pending
// buffer, the login handshake, the handler of every server message, and (through the
// UDP game channel) beats, movement and retransmission. What it does to the outside
// world goes through TClientSessionHost: the connection window adapts Qt sockets to
// it, vxbot its own, and tests a fake that records every call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/game_channel.h"
#include "net/npc_list.h"
#include "net/protocol.h"
#include "net/protocol_constants.h"

namespace net {

class TGameTimer;

// What the session needs done outside itself. Every call comes on the main thread.
class TClientSessionHost {
public:
    virtual ~TClientSessionHost() = default;

    // Writes bytes to the TCP connection at once.
    virtual void WriteTCP(std::string_view bytes) = 0;
    // Whether the TCP connection is open (a message sent while it is not is dropped).
    virtual bool TCPActive() const = 0;
    // Closes the TCP connection; its disconnected event follows when it was open.
    virtual void CloseTCP() = 0;

    // Binds the UDP endpoint to a local port (0: any free one); false when it cannot.
    virtual bool BindUDP(uint16_t localPort) = 0;
    // The endpoint's local port once bound.
    virtual uint16_t UDPLocalPort() const = 0;
    // Where datagrams go from now on.
    virtual void SetUDPRemote(std::string_view host, uint16_t port) = 0;
    // Sends one datagram to the remote host and port.
    virtual void SendDatagram(std::string_view bytes) = 0;

    // One user-visible log line (the game window's console and the connection log).
    virtual void AddLogLine(std::string_view line) = 0;
    // A log line of the client's own making, not one of the protocol's texts: the
    // console breaks it where it is wider than the panel.
    virtual void AddOwnLogLine(std::string_view line) { AddLogLine(line); }
    // Loads the world's chunks, map, fixed and movable objects. May raise.
    virtual void LoadWorldData() = 0;
    // Starts the 50 ms retransmission timer, which calls RetransmitTimerTimer.
    virtual void StartRetransmitTimer() = 0;
    // The game is entered: the game window shows.
    virtual void EnterGame() = 0;
    // The connection has ended: the game window closes, the connection window shows
    // with its way back to the login window.
    virtual void ConnectionClosed() = 0;
    // The server refused the connection: the way back to the login window shows.
    virtual void ConnectionRefused() = 0;

    // A speech line the player saw (an actor's server_npc_say taken into the speech
    // history; the player's own line echoed by the server is not one), or a chat
    // line the player sent, as typed. For the chat log.
    virtual void SpeechHeard(int32_t /*speakerId*/, std::string_view /*text*/) {}
    virtual void ChatSent(std::string_view /*text*/) {}

    // Around every server message, whichever channel brought it (statistics, bots).
    virtual void MessageArriving(uint32_t /*type*/, std::string_view /*payload*/) {}
    virtual void MessageHandled(uint32_t /*type*/, std::string_view /*payload*/) {}
};

// The login choices the handshake sends, and the two places the local UDP port
// comes from.
struct TLoginChoices {
    std::string CharacterName;
    std::string CharacterPassword;
    uint16_t CharacterShape = 0;
    std::string WorldIdentity;
    // The first command-line argument ("" when there is none); "udp=PORT" chooses
    // the local UDP port.
    std::string FirstArgument;
    // The connection window's LocalUDPPort box, used when there is no "udp=".
    std::string LocalUDPPort = std::to_string(DefaultClientUdpPort);
};

// Socket errors in the numbers the connection log shows (Winsock's).
enum class ESocketFault {
    WouldBlock,           // 10035
    ConnectionRefused,    // 10061
    ConnectionReset,      // 10054, the peer closed the connection
    TimedOut,             // 10060
    HostNotFound,         // 11001
    NetworkDown,          // 10050
    AccessDenied,         // 10013
    AddressInUse,         // 10048
    AddressNotAvailable,  // 10049
    Unsupported,          // 10045
    Other,                // 10004, a call ended without its own number
};
int WinsockErrorNumber(ESocketFault fault);

inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAECONNREFUSED = 10061;

// Strict decimal integer: an optional sign and digits, within 32 bits; false for
// anything else (blanks included).
bool ParseDecimal(std::string_view text, int32_t& value);
// The local UDP port of the first command-line argument "udp=PORT", or else of the
// LocalUDPPort box; false when the chosen text is not a port number (0 to 65535).
bool ChooseLocalUDPPort(std::string_view firstArgument, std::string_view localUDPPortBox, uint16_t& port,
                        std::string& chosenText);

class TClientSession {
public:
    // `udp` is the identity of the UDP endpoint (the adapter's socket object): the
    // connection's socket-table entry is bound to it, and datagrams are checked
    // against that entry.
    TClientSession(TClientSessionHost& host, TNPCList& actors, TGameTimer& timer, TSpeechHistory& speech,
                   TSocketTable& sockets, TUDPEndpoint udp);
    TClientSession(const TClientSession&) = delete;
    TClientSession& operator=(const TClientSession&) = delete;

    void SetLogin(const TLoginChoices& login) { login_ = login; }
    const TLoginChoices& Login() const { return login_; }
    // The login window starts a connection: the game is not entered.
    void ClearEntered() { channel_.ClearEntered(); }

    // TCP connection events, each with its log line.
    void InSocketLookup();
    void InSocketConnecting();
    // The connection is established: it takes a socket-table entry, bound to the UDP
    // endpoint, and becomes writable.
    void InSocketConnect(TConnection connection, std::string_view peerAddress, uint16_t peerPort);
    // Bytes read from the connection: appended to the receive buffer, whole messages
    // handled.
    void InSocketRead(std::string_view bytes);
    // The connection can take bytes: the pending buffer goes out whole.
    void InSocketWrite();
    void InSocketDisconnect(TConnection connection);
    // A socket error with its Winsock number: logged; a refused connection ends here
    // (the connection is closed and 0 returned). Any other number is returned for the
    // socket layer's own report.
    int InSocketError(int errorNumber);

    // Sends one framed message over TCP: at once while the connection is writable and
    // open, dropped while writable but closed, queued while not writable.
    void SendTCP(std::string_view message);
    void SendTCP(uint32_t type, std::string_view payload);

    // Every server message of either channel comes here.
    void HandleServerMessage(int32_t index, uint32_t type, std::string_view payload);

    // A datagram on the UDP endpoint: the sender check, then its messages.
    void InUDPDataReceived(std::string_view sourceAddress, uint16_t sourcePort, std::string_view datagram);

    // One datagram through the flood guard; false when the guard dropped it.
    bool SendUDP(std::string_view message) { return channel_.SendUDP(message); }
    // The game window's movement input and the retransmission timer's tick; see
    // TGameChannel.
    void KeyPressed(uint8_t key) { channel_.KeyPressed(key); }
    void KeyReleased(uint8_t key) { channel_.KeyReleased(key); }
    void SendWalkTo(int mouseX, int mouseY, int targetX, int targetY)
    {
        channel_.SendWalkTo(mouseX, mouseY, targetX, targetY);
    }
    void ResendWalkTarget(int mouseX, int mouseY, int targetX, int targetY)
    {
        channel_.ResendWalkTarget(mouseX, mouseY, targetX, targetY);
    }
    void SendWalkStop() { channel_.SendWalkStop(); }
    // The retransmission timer's tick also announces the client's UDP port again, once
    // a second, until the first beat shows that the server has it: the announcement
    // is one datagram, and a lost one would otherwise leave the login waiting forever.
    void RetransmitTimerTimer();
    static constexpr uint32_t UdpAnnounceInterval = 1000;  // ms
    // A chat line typed in the game window.
    void SendChat(std::string_view line)
    {
        SendTCP(msg::client_chat, line);
        host_.ChatSent(line);
    }

    TGameChannel& Channel() { return channel_; }
    const TGameChannel& Channel() const { return channel_; }
    bool Entered() const { return channel_.Entered(); }
    bool Writable() const { return writable_; }
    size_t PendingBytes() const { return pending_.size(); }
    size_t UnreadBytes() const { return received_.Size(); }
    uint16_t ServerUDPPort() const { return serverUdpPort_; }
    uint16_t ClientUDPPort() const { return clientUdpPort_; }
    TSocketTable& Sockets() { return sockets_; }
    // Whether this connection ended in a way that trying again will not mend: a
    // refusal by the server, another world, another protocol, or a local UDP port
    // that cannot be used.
    bool Refused() const { return refused_; }

private:
    void Log(std::string_view line) { host_.AddLogLine(line); }
    void OwnLog(std::string_view line) { host_.AddOwnLogLine(line); }
    void ProtocolVersionArrived(std::string_view payload);
    void IdentityArrived(std::string_view payload);
    void LoginAccepted(int32_t index, std::string_view payload);
    void Refuse(std::string_view line);
    void SpeechArrived(std::string_view payload);

    TClientSessionHost& host_;
    TNPCList& actors_;
    TGameTimer& timer_;
    TSpeechHistory& speech_;
    TSocketTable& sockets_;
    TUDPEndpoint udp_;
    TVxProtocolFormat format_;
    TGameChannel channel_;
    TLoginChoices login_;

    TReceiveBuffer received_;
    TByteString pending_;
    TByteString scratch_;  // the message being framed; keeps its capacity
    bool writable_ = false;
    std::string peerAddress_;
    uint16_t peerPort_ = 0;
    uint16_t serverUdpPort_ = 0;
    uint16_t clientUdpPort_ = 0;
    bool refused_ = false;
    bool beatHeard_ = false;        // a beat has come since the UDP port was announced
    uint32_t udpAnnouncedAt_ = 0;
};

}  // namespace net
