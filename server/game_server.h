// The reference game server: the TCP login handshake, the UDP channel of each
// connection (beats, movement records), server-authoritative movement, the view of
// each player, the server's own characters and chat.
//
// Everything runs on the thread of the Qt event loop but the password hashing, which
// a small work queue does so that a crowd logging in at once stalls nobody's beats;
// the event loop collects its answers (TWorkQueue::TakeDone) on a short timer while
// checks are out. Time is platform::TickCount(), which is also the game time the
// server announces in its beats; Tick() does all the work that depends on time, so
// tests drive it with the fake clock.
//
// Every client is hostile until it has shown otherwise: a connection is found through
// its own socket object, never by address text; each event-loop turn reads a bounded
// amount from it; messages its stage does not allow are dropped before dispatch; its
// closes finish within a grace; its log lines are escaped and rate-limited; and the
// connections of one address (all of them, and those before login) and its new
// accounts are capped.
//
// Each logged-in connection gets a UDP endpoint of its own, on a random port, bound to
// the address its TCP connection reached (so the client sees beats come from the
// address it connected to). The endpoint belongs to the connection: the first
// client_udpport that reaches it fixes the client's UDP address and port, and a
// datagram from anywhere else is dropped unread. The protocol carries no session
// secret, so another client at the same address that guesses the port and answers
// first can still claim the endpoint; the random port makes that a guess.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounts.h"
#include "chat.h"
#include "handshake.h"
#include "net/protocol.h"
#include "net/protocol_constants.h"
#include "npcs.h"
#include "work_queue.h"
#include "world.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace server {

struct TServerOptions {
    std::string GameFolder;              // ends in a separator
    QString DataFolder;                  // holds vxserver.db
    QString Database;                    // a postgresql:// URL instead of vxserver.db
    int LoginLease = server::LoginLease; // seconds a player's login mark holds unrenewed
    QHostAddress Bind = QHostAddress::AnyIPv4;
    uint16_t TcpPort = net::DefaultServerTcpPort;  // 0 = any free port
    uint16_t UdpPort = net::DefaultServerUdpPort;  // first of the UDP range; 0 = any free ports
    int UdpPorts = 1024;                 // UDP ports UdpPort ... UdpPort + UdpPorts - 1
    int Npcs = 12;
    QString Welcome = QStringLiteral("Welcome to Veltharn.");  // Latin-1 only
    uint32_t SaveInterval = 2000;        // ms between batched position saves
    TPasswordCost PasswordCost;          // Argon2id cost of new hashes
    int MaxPendingPerAddress = 4;        // connections of one address not logged in yet
    int MaxConnectionsPerAddress = 8;    // connections of one address in all, logged in or not
    int NewAccountsPerAddress = 3;       // new accounts of one address per minute
    int NamesPerAddress = 5;             // names of one address answered at once in NameWindow
    size_t MaxOutput = 4 * 1024 * 1024;  // output queued for a logged-in client that does not read
    int RememberedAddresses = 4096;      // peer addresses whose failures and new accounts are kept
};

// Whether a text can be sent as the welcome text: Latin-1 without control characters.
bool SendableText(const QString& text);

inline constexpr int TownX = 940, TownY = 1220;
inline constexpr uint32_t HandshakeTimeout = 30000;
inline constexpr uint32_t SilenceTimeout = 60000;   // a player heard from neither by TCP nor by UDP
inline constexpr uint32_t CloseGrace = 2000;        // a closing connection is aborted after this
inline constexpr size_t MaxUnframed = 64 * 1024;  // a TCP buffer past this without a whole message is hostile
inline constexpr size_t MaxOutputBeforeLogin = 16 * 1024;   // queued output of a connection not logged in
inline constexpr int MessagesPerTurn = 64;   // TCP messages of one connection per event-loop turn
inline constexpr int DatagramsPerTurn = 16;  // datagrams of one endpoint per event-loop turn
inline constexpr int MaxDeferred = 32;       // messages kept while a password is checked
inline constexpr int LogLinesPerWindow = 20; // console lines one connection may cause ...
inline constexpr uint32_t LogWindow = 10000; // ... in this many ms; the rest are counted
inline constexpr uint32_t AddressSweep = 10000;  // ms between sweeps of addresses with nothing left to remember
inline constexpr uint32_t KeyOrderWindow = 2000;  // a key's record older than this is always new
inline constexpr int MaxNameLength = int(net::MaxNameLength);
inline constexpr int AddRangeX = 50, AddRangeY = 30;        // 100 across, 60 down
inline constexpr int DropRangeX = net::ViewRangeX, DropRangeY = net::ViewRangeY;  // the client's own limits
inline constexpr uint32_t BeatInterval = 1000;
inline constexpr uint32_t ShapeInterval = 250;  // a player's shape changes reach others at most this often
inline constexpr int DatagramBudget = 100;  // messages per second and connection
inline constexpr int32_t FirstNpcId = 0x40000000;

struct TSession;

// Anything that walks: a player or one of the server's characters.
struct TActor {
    int32_t ID = 0;
    uint16_t Shape = 0;
    uint8_t Lift = 0;
    uint8_t Facing = 8;
    TMotion Motion;
    TSession* Player = nullptr;        // null for a server character
    // What moves it: held direction keys (codes 1-4) or a walk target.
    std::array<bool, 5> Held{};
    std::array<uint32_t, 5> HeldTime{};
    bool Walking = false;
    int TargetX = 0, TargetY = 0;
    // Server characters.
    std::unique_ptr<TNpcBrain> Brain;
    int NpcDirX = 0, NpcDirY = 0;
    uint32_t NextDecision = 0;
    bool Dirty = false;                // position not saved yet
    // Shape changes of a player go out at most every ShapeInterval, the latest winning.
    bool ShapeUnsent = false;
    uint32_t ShapeSentAt = 0;
};

class TGameServer : public QObject {
    Q_OBJECT
public:
    // Reads the game folder and opens the database; raises on failure.
    explicit TGameServer(TServerOptions options, QObject* parent = nullptr);
    ~TGameServer() override;

    // Starts listening; false (with a console line) when a port cannot be bound.
    bool Start();
    // Saves every player, closes every connection and stops listening.
    void Shutdown();

    // All timed work at the current tick count: handshake timeouts, beats, steps of
    // motion, the characters' decisions, views and batched saves. A 50 ms timer
    // calls it; tests call it after moving the fake clock.
    void Tick();

    uint16_t TcpPort() const;
    const std::string& Identity() const { return identity_; }
    QString DatabasePath() const;
    // The name under which this server marks its players in the database: its host,
    // bound address and TCP port (known once listening).
    const QString& ServerName() const { return serverName_; }
    int Connections() const;
    int PlayersInGame() const;
    // Password checks handed to the worker threads whose answer has not come back.
    int PasswordChecksRunning() const { return passwordChecks_; }
    // Password checks waiting for their account or their address's delay.
    int PasswordChecksWaiting() const;
    // Tests: while held, the answers of finished checks wait uncollected (the checks
    // count as running), so that a test can act during a check on any machine.
    void HoldPasswordAnswers(bool hold);
    // Peer addresses the server remembers something of (failures, new accounts).
    size_t AddressesRemembered() const { return addressBook_.Size(); }
    // The actor of an in-game player, by name (tests), or null.
    const TActor* FindPlayer(const QString& name) const;

signals:
    // A connection ended and its session is gone.
    void SessionClosed();

private:
    // Sessions and the handshake (sessions.cpp).
    void OnNewConnection();
    void Accept(QTcpSocket* socket);
    // Reads and dispatches a bounded share of what the connection has sent; queues
    // a later turn for the rest.
    void ReadSome(TSession& session);
    // Runs `work` for the session on a later event-loop turn, if it still exists then.
    void Later(const TSession& session, void (TGameServer::*work)(TSession&));
    // Frees everything of a connection at once; its socket object dies later.
    void EndSession(TSession& session);
    TSession* SessionAt(int32_t index, uint64_t serial) const;
    void HandleTcpMessage(TSession& session, uint32_t type, std::string_view payload);
    // Whether the connection's stage allows a message type from the client.
    void HandleHandshake(TSession& session, uint32_t type, std::string_view payload);
    // When a name of this address may be answered: at once for the first few of a
    // window, then one per NameInterval, so that names cannot be probed in bulk.
    uint32_t NameAnswerTime(TSession& session, uint32_t now);
    void AnswerName(TSession& session);
    void AnswerWaitingNames(uint32_t now);
    void Refuse(TSession& session, uint32_t type, std::string_view text, const std::string& why);
    void SendTCP(TSession& session, uint32_t type, std::string_view payload);
    // Closes gracefully (what is queued goes out first); `abortNow` skips the grace.
    void CloseSession(TSession& session, const std::string& why, bool abortNow = false);
    void ReapClosing();
    // Queues a password check; it starts once its account has no other check running
    // and its address's delay after failures has passed.
    void QueuePasswordCheck(TSession& session, std::string_view password);
    void StartPasswordChecks();
    void StartPasswordCheck(TSession& session);
    void OnPasswordChecked(int32_t index, uint64_t serial, TPasswordCheck::EResult result, const QString& hashed);
    void PasswordFailed(TSession& session);
    // Gives back the new account a session's check had counted against its address.
    void ReleaseAccountReservation(TSession& session);
    void CollectWork();
    // A log line caused by a connection: counted against its share of the console.
    void SessionLog(TSession& session, const std::string& line);
    void FlushSuppressed(TSession& session, uint32_t now);
    // Counts a message dropped unread; the first one of a connection is logged.
    void Drop(TSession& session, const std::string& what);
    // A known type whose payload is long enough for its layout; dropped otherwise.
    bool Understood(TSession& session, uint32_t type, std::string_view payload);
    void EnterGame(TSession& session);
    bool NameInGame(const QString& name, const TSession* except) const;
    int PendingFrom(const std::string& address) const;
    int ConnectionsFrom(const std::string& address) const;
    // Frees a place in a full table for a new connection by ending a closing one, or
    // the connection before login silent longest; false when every place is taken by
    // a logged-in connection or a password being checked.
    bool MakeRoom();
    QUdpSocket* OpenEndpoint(TSession& session);

    // The UDP channel (udp_channel.cpp).
    void ReadDatagrams(TSession& session);
    void HandleDatagram(TSession& session, const QHostAddress& from, uint16_t fromPort, std::string_view datagram);
    void HandleDatagramMessage(TSession& session, uint32_t type, std::string_view payload);
    void SendUDP(TSession& session, uint32_t type, std::string_view payload);
    void SendBeat(TSession& session, uint32_t now);
    void HandleMove(TSession& session, bool down, std::string_view payload);
    // Whether a movement record is newer than the last one applied for its key.
    bool NewerMove(TSession& session, uint8_t code, uint8_t sequence, uint32_t now);

    // Actors, motion and views (actors.cpp).
    TActor& AddActor(int32_t id, uint16_t shape, int x, int y, TSession* player);
    void RemoveActor(int32_t id);
    void AdvanceActor(TActor& actor, uint32_t now);
    void Steer(TActor& actor, uint32_t now);
    void DesiredDirection(const TActor& actor, int& dx, int& dy) const;
    void BroadcastState(const TActor& actor);
    // A player's new shape: to everyone who sees it now, or once its interval has passed.
    void ShapeChanged(TActor& actor, uint32_t now);
    void SendUnsentShapes(uint32_t now);
    void SendAdd(TSession& to, const TActor& actor);
    void SendState(TSession& to, const TActor& actor);
    void UpdateViews();
    void SpawnNpcs();
    void ThinkNpcs(uint32_t now);
    void SaveDirty(bool all);
    // Renews the login marks of this server's players; a player whose mark another
    // server took over (after this one failed to renew in time) is closed.
    void RenewLogins();
    void Say(const TActor& speaker, std::string_view text);

    TServerOptions options_;
    std::string identity_;
    std::unique_ptr<TAccountStore> accounts_;
    QTcpServer* listener_ = nullptr;
    QTimer* ticker_ = nullptr;
    net::TSocketTable sockets_;
    std::array<std::unique_ptr<TSession>, net::MAX_SOCKETS + 1> sessions_;  // by table index
    uint64_t nextSerial_ = 0;  // tells a session from a later one at the same index
    // What the server remembers of a peer address. The table is bounded whatever the
    // number of addresses that come (with IPv6 one attacker has practically without
    // end): entries with nothing left to remember are swept out, and when it is full
    // the least recently used goes first.
    TAddressBook addressBook_;
    uint32_t lastAddressSweep_ = 0;
    TPasswordQueue passwords_;
    uint32_t refusedWindow_ = 0;  // log lines about refused connections, as per connection
    int refusedLogged_ = 0;
    uint64_t refusedSuppressed_ = 0;
    std::map<int32_t, std::unique_ptr<TActor>> actors_;
    std::vector<uint16_t> characterShapes_;
    std::mt19937 rng_;
    std::string scratch_;  // the message being framed; keeps its capacity
    uint32_t lastSave_ = 0;
    uint32_t lastRenewal_ = 0;
    QString serverName_;
    uint32_t lastBeatRound_ = 0;
    bool shutDown_ = false;
    TWorkQueue passwordWork_;
    QTimer* collector_ = nullptr;  // collects finished checks while any are out
    int passwordChecks_ = 0;
    bool holdAnswers_ = false;
};

}  // namespace server
