// The connection window: the TCP connection and UDP endpoint to the game server,
// the connection log and the way back to the login window. A thin Qt adapter over
// the client session, which holds the handshake, the message handler and the UDP
// game channel.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "client/connect_request.h"
#include "net/client_session.h"
#include "net/protocol_constants.h"
#include "net/reconnect.h"
#include "net/socket_adapter.h"

// The sockets come from the one socket adapter (TSessionSockets), which hands their
// events to the session of the current connection.
class TConnections : public QDialog, public net::TSessionSockets {
    Q_OBJECT
public:
    static constexpr int MaxLogLines = 100;

    TConnections();
    // The sockets outlive the window's own members: their last events (a disconnect
    // while closing) must not reach it.
    ~TConnections() override;

    QTcpSocket* InSocket;  // the adapter's sockets
    QUdpSocket* InUDP;
    QTimer* RetransmitTimer;    // 50 ms, from the accepted login on
    QPlainTextEdit* Memo1;      // the connection log, at most MaxLogLines lines
    QLineEdit* ServerAddress;   // disabled; the login window writes the chosen address
    QLineEdit* TCPPort;         // disabled, "12578"
    QLineEdit* UDPPort;         // disabled, "12577" (the server's side)
    QLineEdit* LocalUDPPort;    // disabled, "28101"
    QPushButton* BitBtn1;       // Abort: closes the TCP connection
    QPushButton* BitBtn2;       // "Enter Game >>", hidden
    QPushButton* BitBtn3;       // "<< Login Screen", hidden until a connection ends
    // Getting back in: "Reconnect" shows beside BitBtn3 once a connection has ended
    // and runs the same Connect again; with "Auto reconnect" ticked, tries follow by
    // themselves (TReconnect's schedule, polled by ReconnectTimer).
    QPushButton* ReconnectButton;
    QCheckBox* AutoReconnect;
    QTimer* ReconnectTimer;
    net::TReconnect Reconnecting;

    // The endpoints' settings as the login window leaves them: InSocket connects
    // to InSocketAddress:InSocketPort when activated; InUDP sends to
    // InUDPRemoteHost:InUDPRemotePort until the server names its own port.
    QString InSocketAddress;
    uint16_t InSocketPort = net::DefaultServerTcpPort;
    uint16_t InUDPLocalPort = 0;
    QString InUDPRemoteHost;
    uint16_t InUDPRemotePort = net::DefaultServerUdpPort;

    // The session of the current connection; a new one for every Connect.
    std::unique_ptr<net::TClientSession> Session;
    // Starts a session over the process-wide actor list and game timer: not
    // entered, nothing buffered. Speech goes to Speech (the game window's history).
    void NewSession(net::TNPCList& actors, net::TGameTimer& timer, const net::TLoginChoices& login);
    net::TSpeechHistory* Speech = nullptr;

    // Appends one line (Latin-1, like every text of the protocol) to Memo1, deleting
    // the oldest beyond MaxLogLines; with EchoToStdout also writes it to standard
    // output, as the memo shows it (in UTF-8).
    void AppendLog(std::string_view line);
    static inline bool EchoToStdout = false;

    // Starts the non-blocking connect to InSocketAddress:InSocketPort.
    void ActivateInSocket();
    // Connect's start (the client core's steps), in two parts: the window shows with
    // the server and the port boxes; then, the ports being good, both endpoints are
    // set and the TCP connection is begun.
    void ShowConnect(const TConnectSteps& steps);
    void StartConnect(const TConnectSteps& steps);

    // A socket error the session did not end the connection on: the socket layer's
    // own report, and the way back when the attempt is over. The other socket events
    // go to the session as the adapter reports them.
    void InSocketError(int errorNumber, const QString& text);
    void RetransmitTimerTimer();

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void ReconnectButtonClick();
    // The tick box changed (by the player or by the stored setting).
    void AutoReconnectToggled(bool on);
    // Runs a try when one is due.
    void ReconnectTimerTimer();

    // What the window leads to outside itself; any may be unset.
    std::function<void(std::string_view line)> GameLog;     // the game window's AddLogLine
    std::function<void(std::string_view line)> GameOwnLog;  // and its AddOwnLogLine
    std::function<void()> LoadWorld;        // chunks, map, fixed and movable objects
    std::function<void()> ShowGameWindow;
    std::function<void()> CloseGameWindow;
    std::function<void()> ShowLoginWindow;
    std::function<void()> BeforeRetransmit;  // the game window's ResendWalkTarget
    std::function<void()> Reconnect;         // the login window's Connect, as last made
    std::function<void(bool on)> AutoReconnectChosen;  // the player ticked or unticked the box
    // One line for the chat log: who spoke ("actor <ID>", or the player's name for a
    // line sent) and what.
    std::function<void(std::string_view speaker, std::string_view text)> ChatLogLine;

    // The session's host (the sockets' part is the adapter's).
    void SetUDPRemote(std::string_view host, uint16_t port) override;
    void AddLogLine(std::string_view line) override;
    void AddOwnLogLine(std::string_view line) override;
    void LoadWorldData() override;
    void StartRetransmitTimer() override;
    void EnterGame() override;
    void ConnectionClosed() override;
    void ConnectionRefused() override;
    void SpeechHeard(int32_t speakerId, std::string_view text) override;
    void ChatSent(std::string_view text) override;

private:
    // A connection or an attempt has ended: the way back in shows, and the next try
    // is scheduled when the box is ticked.
    void AttemptEnded(bool refused);
    void SocketErrorLeft(int errorNumber, const QString& text) override { InSocketError(errorNumber, text); }

    net::TSpeechHistory ownSpeech_;  // while no game window gives its own
};
