// The server check over a real connection: a TCP socket and a timer around
// net::TServerCheck. Used by the login window's "Check", "Refresh All" and
// "Refresh Vis"; one probe checks one server once and then reports Finished.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "net/server_check.h"
#include "net/socket_adapter.h"

class TServerProbe : public QObject, private net::TSocketEvents {
    Q_OBJECT
public:
    TServerProbe(QString address, uint16_t port, std::string worldIdentity, QObject* parent = nullptr);
    ~TServerProbe() override;

    // Connects; Finished follows once the check is over, within its timeout.
    void Start();
    const net::TServerCheckResult& Result() const { return check_->Result(); }
    bool Done() const { return check_->Done(); }

    const QString Address;
    const uint16_t Port;

signals:
    void Finished();

private:
    void TcpConnected(std::string_view peerAddress, uint16_t peerPort) override;
    void TcpRead(std::string_view bytes) override;
    void TcpClosed() override;
    void TcpFailed(net::ESocketFault fault, const QString& text) override;
    void AfterEvent();

    net::TSocketAdapter sockets_{*this};
    QTimer* timer_;
    std::unique_ptr<net::TServerCheck> check_;
    bool reported_ = false;
};
