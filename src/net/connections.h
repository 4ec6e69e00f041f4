// The connection window: the TCP connection and UDP endpoint to the game server,
// the connection log and the way back to the login window.
#pragma once

#include <QDialog>
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
#include <string_view>

// The Winsock number of a socket error, as the connection log shows it
// (connection refused = 10061).
int WinsockError(QAbstractSocket::SocketError error);
// An address as plain dotted-decimal IPv4 ("127.0.0.1", never "::ffff:127.0.0.1");
// empty for an address that is not IPv4.
QString DottedIPv4(const QHostAddress& address);

class TConnections : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxLogLines = 100;

    TConnections();
    // The sockets, children of the window, outlive its own members: their last
    // events (a disconnect while closing) must not reach it.
    ~TConnections() override;

    QTcpSocket* InSocket;
    QUdpSocket* InUDP;
    QPlainTextEdit* Memo1;      // the connection log, at most MaxLogLines lines
    QLineEdit* ServerAddress;   // disabled; the login window writes the chosen address
    QLineEdit* TCPPort;         // disabled, "12578"
    QLineEdit* UDPPort;         // disabled, "12577" (the server's side)
    QLineEdit* LocalUDPPort;    // disabled, "28101"
    QPushButton* BitBtn1;       // Abort: closes the TCP connection
    QPushButton* BitBtn2;       // "Enter Game >>", hidden
    QPushButton* BitBtn3;       // "<< Login Screen", hidden until a connection ends

    // The endpoints' settings as the login window leaves them: InSocket connects
    // to InSocketAddress:InSocketPort when activated; InUDP binds InUDPLocalPort
    // and sends to InUDPRemoteHost:InUDPRemotePort.
    QString InSocketAddress;
    uint16_t InSocketPort = 12578;
    uint16_t InUDPLocalPort = 0;
    QString InUDPRemoteHost;
    uint16_t InUDPRemotePort = 12577;

    // Appends one line to Memo1, deleting the oldest beyond MaxLogLines; with
    // EchoToStdout also writes it to standard output as it stands.
    void AppendLog(std::string_view line);
    static inline bool EchoToStdout = false;

    // Starts the non-blocking connect to InSocketAddress:InSocketPort.
    void ActivateInSocket();

    // InSocket's events.
    void InSocketLookup();
    void InSocketConnecting();
    void InSocketConnect();
    void InSocketRead();
    void InSocketDisconnect();
    // `error` is the Winsock number (WinsockError).
    void InSocketError(int error);

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    // Every user-visible log line goes here: the game window's AddLogLine, which
    // appends it to Memo1 as well. Until one is set, straight to Memo1.
    std::function<void(std::string_view line)> AddLogLine;

    // What the buttons and the connection's end lead to outside this window.
    std::function<void()> CloseGameWindow;
    std::function<void()> ShowLoginWindow;
    std::function<void()> ShowGameWindow;
};
