// One headless client of vxbot: the client's own session (handshake, message
// handling, beats, movement records with acknowledgement and retransmission, game
// timer and actor list) over Qt sockets, driven by a small random walker that chats
// now and then.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "net/client_session.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "net/protocol.h"
#include "net/protocol_constants.h"
#include "net/socket_adapter.h"

namespace bot {

struct TBotOptions {
    QString Server = QStringLiteral("127.0.0.1");
    uint16_t TcpPort = net::DefaultServerTcpPort;
    QString Identity;  // empty: the bot takes whatever world the server runs
    uint32_t Seed = 1;
};

// Figures gathered over all bots.
struct TBotStats {
    int LoginsSucceeded = 0;
    int LoginsFailed = 0;
    int ConnectionsLost = 0;
    std::vector<uint32_t> BeatRoundTrips;  // ms, client_beatack to server_beatackack
    std::vector<uint32_t> KeyAckLatencies; // ms, key sent to its acknowledgement
    uint64_t KeysSent = 0;                 // presses and releases of arrow keys
    uint64_t KeysAcknowledged = 0;
    uint64_t Retransmissions = 0;
    uint64_t TcpSent = 0, UdpSent = 0, TcpReceived = 0, UdpReceived = 0;
    uint64_t ChatLines = 0;
    std::vector<std::string> Failures;
};

class TBot : public QObject, private net::TSessionSockets {
    Q_OBJECT
public:
    TBot(int number, const TBotOptions& options, TBotStats& stats);
    ~TBot() override;

    void Connect();
    // Stops walking: releases held keys so their releases can be acknowledged.
    void Calm();
    // Closes the connection; no longer counted as lost.
    void Finish();

    bool Entered() const { return session_.Entered(); }
    bool LoggedIn() const { return loggedIn_; }
    // Arrow-key presses and releases whose acknowledgement has not arrived.
    int Unacknowledged() const;
    uint64_t Retransmissions() const { return session_.Channel().Retransmissions(); }
    const QString& Name() const { return name_; }

private:
    // The session's host: what the connection window does for the client.
    void WriteTCP(std::string_view bytes) override;
    void CloseTCP() override;
    bool BindUDP(uint16_t localPort) override;
    void SendDatagram(std::string_view bytes) override;
    void SocketErrorLeft(int errorNumber, const QString& text) override;
    void DatagramRead(std::string_view fromAddress, uint16_t fromPort, std::string_view bytes) override;
    void AddLogLine(std::string_view line) override { lastLog_.assign(line); }
    void LoadWorldData() override {}  // a bot draws nothing
    void StartRetransmitTimer() override;
    void EnterGame() override { thinkTimer_.start(200); }
    void ConnectionClosed() override;
    void ConnectionRefused() override { Fail("connection refused"); }
    void MessageArriving(uint32_t type, std::string_view payload) override;
    void MessageHandled(uint32_t type, std::string_view payload) override;

    void Fail(const std::string& why);
    void Think();
    void Press(uint8_t key);
    void Release(uint8_t key);

    QString name_;
    TBotOptions options_;
    TBotStats& stats_;
    std::mt19937 rng_;
    QTimer retransmitTimer_;
    QTimer thinkTimer_;
    net::TSocketTable table_;
    net::TGameTimer timer_;
    net::TNPCList actors_;
    net::TSpeechHistory speech_;
    net::TClientSession session_;
    std::string lastLog_;
    bool loggedIn_ = false;
    bool finished_ = false;
    bool failed_ = false;
    bool calm_ = false;
    bool readingUdp_ = false;
    std::array<uint32_t, 256> beatAckSentAt_{};
    std::array<bool, 256> beatAckPending_{};
    std::array<uint32_t, 5> keySentAt_{};  // local tick of the latest press/release, by code
    std::array<bool, 5> keyPending_{};
};

}  // namespace bot
