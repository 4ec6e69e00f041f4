// The server probe: socket and timer events handed to the check.
#include "window/server_probe.h"

#include "platform/tick_count.h"

TServerProbe::TServerProbe(QString address, uint16_t port, std::string worldIdentity, QObject* parent)
    : QObject(parent), Address(std::move(address)), Port(port)
{
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    check_ = std::make_unique<net::TServerCheck>(
        std::move(worldIdentity), [this](std::string_view bytes) { sockets_.Write(bytes); },
        // Politely: what was written goes out, then the connection ends.
        [this] {
            if (sockets_.TcpState() != QAbstractSocket::UnconnectedState)
                sockets_.Close();
        });
    connect(timer_, &QTimer::timeout, this, [this] {
        check_->TimedOut(platform::TickCount());
        AfterEvent();
    });
}

TServerProbe::~TServerProbe()
{
    sockets_.Mute();
    sockets_.Abort();
}

void TServerProbe::Start()
{
    check_->Start(platform::TickCount());
    timer_->start();
    sockets_.Connect(Address, Port);
}

void TServerProbe::TcpConnected(std::string_view, uint16_t)
{
    check_->Connected(platform::TickCount());
    AfterEvent();
}

void TServerProbe::TcpRead(std::string_view bytes)
{
    check_->Read(bytes, platform::TickCount());
    AfterEvent();
}

void TServerProbe::TcpClosed()
{
    check_->Closed();
    AfterEvent();
}

void TServerProbe::TcpFailed(net::ESocketFault, const QString& text)
{
    check_->Failed(text.toStdString());
    AfterEvent();
}

void TServerProbe::AfterEvent()
{
    if (!check_->Done() || reported_)
        return;
    reported_ = true;
    timer_->stop();
    emit Finished();
}
