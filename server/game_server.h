// The reference game server: the TCP login handshake, the UDP channel of each
// connection (beats, movement records), server-authoritative movement, the view of
// each player, the server's own characters and chat.
//
// Everything runs on the thread of the Qt event loop but the password hashing, which
// a small thread pool does so that a crowd logging in at once stalls nobody's beats;
// its answers come back to the event loop as queued calls. Time is platform::TickCount(),
// which is also the game time the server announces in its beats; Tick() does all
// the work that depends on time, so tests drive it with the fake clock.
//
// Each connection gets a UDP endpoint of its own (the server's UDP port for entry 1,
// the next port for entry 2, ...), so the socket table's lookup by endpoint names
// the sender of every datagram without guessing, even when many clients share one
// address.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "accounts.h"
#include "chat.h"
#include "net/protocol.h"
#include "net/protocol_constants.h"
#include "npcs.h"
#include "world.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace server {

struct TServerOptions {
    std::string GameFolder;              // ends in a separator
    QString DataFolder;                  // holds vxserver.db
    QHostAddress Bind = QHostAddress::AnyIPv4;
    uint16_t TcpPort = 12578;            // 0 = any free port
    uint16_t UdpPort = 12577;            // entry 1's; 0 = any free ports
    int Npcs = 12;
    QString Welcome = QStringLiteral("Welcome to Veltharn.");
    uint32_t SaveInterval = 2000;        // ms between batched position saves
    int HashIterations = PasswordIterations;  // PBKDF2 rounds for new accounts
};

inline constexpr int TownX = 940, TownY = 1220;
inline constexpr uint32_t HandshakeTimeout = 30000;
inline constexpr size_t MaxUnframed = 64 * 1024;  // a TCP buffer past this without a whole message is hostile
inline constexpr int MaxNameLength = int(net::MaxNameLength);
inline constexpr int AddRangeX = 50, AddRangeY = 30;        // 100 across, 60 down
inline constexpr int DropRangeX = net::ViewRangeX, DropRangeY = net::ViewRangeY;  // the client's own limits
inline constexpr uint32_t BeatInterval = 1000;
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
    int Connections() const;
    int PlayersInGame() const;
    // Password checks handed to the worker threads whose answer has not come back.
    int PasswordChecksRunning() const { return passwordChecks_; }
    // The actor of an in-game player, by name (tests), or null.
    const TActor* FindPlayer(const QString& name) const;

signals:
    // A connection ended and its session is gone.
    void SessionClosed();

private:
    // Sessions and the handshake (sessions.cpp).
    void OnNewConnection();
    void OnReadyRead(TSession* session);
    void OnDisconnected(TSession* session);
    void HandleMessage(int32_t index, uint32_t type, std::string_view payload);
    void HandleTcpMessage(TSession& session, uint32_t type, std::string_view payload);
    void HandleHandshake(TSession& session, uint32_t type, std::string_view payload);
    void Refuse(TSession& session, uint32_t type, std::string_view text, const std::string& why);
    void SendTCP(TSession& session, uint32_t type, std::string_view payload);
    void CloseSession(TSession& session, const std::string& why);
    void CheckPassword(TSession& session, std::string_view password);
    void OnPasswordChecked(int32_t index, uint64_t ticket, TPasswordCheck::EResult result, const QString& hashed);
    void LogIgnored(TSession& session, const std::string& line);
    // A known type whose payload is long enough for its layout; logs (capped) otherwise.
    bool Understood(TSession& session, uint32_t type, std::string_view payload);
    void EnterGame(TSession& session);
    bool NameInGame(const QString& name, const TSession* except) const;
    QUdpSocket* EndpointFor(int32_t index);

    // The UDP channel (udp_channel.cpp).
    void OnDatagram(QUdpSocket* endpoint);
    void HandleDatagramMessage(TSession& session, uint32_t type, std::string_view payload);
    void SendUDP(TSession& session, uint32_t type, std::string_view payload);
    void SendBeat(TSession& session, uint32_t now);
    void HandleMove(TSession& session, bool down, std::string_view payload);

    // Actors, motion and views (actors.cpp).
    TActor& AddActor(int32_t id, uint16_t shape, int x, int y, TSession* player);
    void RemoveActor(int32_t id);
    void AdvanceActor(TActor& actor, uint32_t now);
    void Steer(TActor& actor, uint32_t now);
    void DesiredDirection(const TActor& actor, int& dx, int& dy) const;
    void BroadcastState(const TActor& actor);
    void SendAdd(TSession& to, const TActor& actor);
    void SendState(TSession& to, const TActor& actor);
    void UpdateViews();
    void SpawnNpcs();
    void ThinkNpcs(uint32_t now);
    void SaveDirty(bool all);
    void Say(const TActor& speaker, std::string_view text);

    TServerOptions options_;
    std::string identity_;
    std::unique_ptr<TAccountStore> accounts_;
    QTcpServer* listener_ = nullptr;
    QTimer* ticker_ = nullptr;
    net::TSocketTable sockets_;
    net::TVxProtocolFormat format_;
    std::array<std::unique_ptr<TSession>, net::MAX_SOCKETS + 1> sessions_;  // by table index
    std::array<QUdpSocket*, net::MAX_SOCKETS + 1> endpoints_{};
    std::map<int32_t, std::unique_ptr<TActor>> actors_;
    std::vector<uint16_t> characterShapes_;
    std::mt19937 rng_;
    std::string scratch_;  // the message being framed; keeps its capacity
    uint32_t lastSave_ = 0;
    uint32_t lastBeatRound_ = 0;
    bool shutDown_ = false;
    TSession* datagramSession_ = nullptr;  // the sender of the datagram being framed
    QThreadPool passwordPool_;
    uint64_t nextPasswordTicket_ = 0;
    int passwordChecks_ = 0;
};

}  // namespace server
