// A headless client: the handshake as the client's handler runs it, then walking.
#include "bot.h"

#include <QNetworkProxy>

#include "net/message_types.h"
#include "net/protocol_constants.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace bot {
namespace {

constexpr uint8_t ArrowKeys[4] = {net::VK_UP, net::VK_DOWN, net::VK_LEFT, net::VK_RIGHT};

constexpr const char* ChatLines[] = {
    "hello there", "anyone near the well?", "lovely day", "which way to the market?", "see you around",
};

std::string Text(std::string_view payload) { return std::string(payload.substr(0, 200)); }

// Address texts are plain dotted-decimal IPv4 on both sides of every comparison.
std::string AddressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return (isV4 ? QHostAddress(v4).toString() : address.toString()).toStdString();
}

// Qt's socket errors in the numbers the connection log shows.
net::ESocketFault FaultOf(QAbstractSocket::SocketError error)
{
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError: return net::ESocketFault::ConnectionRefused;
    case E::RemoteHostClosedError: return net::ESocketFault::ConnectionReset;
    case E::HostNotFoundError: return net::ESocketFault::HostNotFound;
    case E::SocketTimeoutError: return net::ESocketFault::TimedOut;
    case E::NetworkError: return net::ESocketFault::NetworkDown;
    case E::SocketAccessError: return net::ESocketFault::AccessDenied;
    case E::AddressInUseError: return net::ESocketFault::AddressInUse;
    case E::SocketAddressNotAvailableError: return net::ESocketFault::AddressNotAvailable;
    case E::UnsupportedSocketOperationError: return net::ESocketFault::Unsupported;
    case E::TemporaryError: return net::ESocketFault::WouldBlock;
    default: return net::ESocketFault::Other;
    }
}

}  // namespace

TBot::TBot(int number, const TBotOptions& options, TBotStats& stats)
    : name_(QStringLiteral("Bot%1").arg(number, 3, 10, QLatin1Char('0'))),
      options_(options),
      stats_(stats),
      rng_(options.Seed * 7919u + uint32_t(number)),
      session_(*this, actors_, timer_, speech_, table_, &udp_)
{
    session_.Channel().SetOnKeyAck([this](uint8_t code, bool, uint32_t) {
        if (code < keyPending_.size() && keyPending_[code]) {
            keyPending_[code] = false;
            ++stats_.KeysAcknowledged;
            stats_.KeyAckLatencies.push_back(platform::TickCount() - keySentAt_[code]);
        }
    });

    // A game server connection has no use for the system's HTTP proxy.
    tcp_.setProxy(QNetworkProxy::NoProxy);
    udp_.setProxy(QNetworkProxy::NoProxy);
    connect(&tcp_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::HostLookupState)
            session_.InSocketLookup();
        else if (state == QAbstractSocket::ConnectingState)
            session_.InSocketConnecting();
    });
    connect(&tcp_, &QTcpSocket::connected, this, [this] {
        session_.InSocketConnect(&tcp_, AddressText(tcp_.peerAddress()), tcp_.peerPort());
        session_.InSocketWrite();
    });
    connect(&tcp_, &QTcpSocket::readyRead, this, [this] {
        char chunk[16384];
        for (qint64 n; (n = tcp_.read(chunk, sizeof chunk)) > 0;)
            session_.InSocketRead(std::string_view(chunk, size_t(n)));
    });
    connect(&tcp_, &QTcpSocket::disconnected, this, [this] { session_.InSocketDisconnect(&tcp_); });
    connect(&tcp_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        const int left = session_.InSocketError(net::WinsockErrorNumber(FaultOf(error)));
        if (left != 0 && error != QAbstractSocket::RemoteHostClosedError && !finished_)
            Fail("socket error " + std::to_string(left) + ": " + tcp_.errorString().toStdString());
    });
    connect(&udp_, &QUdpSocket::readyRead, this, [this] {
        char datagram[65536];
        while (udp_.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 fromPort = 0;
            const qint64 n = udp_.readDatagram(datagram, sizeof datagram, &from, &fromPort);
            if (n < 0)
                break;
            readingUdp_ = true;
            session_.InUDPDataReceived(AddressText(from), fromPort, std::string_view(datagram, size_t(n)));
            readingUdp_ = false;
        }
    });
    retransmitTimer_.setInterval(50);
    connect(&retransmitTimer_, &QTimer::timeout, this, [this] {
        const uint64_t before = session_.Channel().Retransmissions();
        session_.RetransmitTimerTimer();
        stats_.Retransmissions += session_.Channel().Retransmissions() - before;
    });
    connect(&thinkTimer_, &QTimer::timeout, this, &TBot::Think);
}

TBot::~TBot() = default;

void TBot::Connect()
{
    net::TLoginChoices login;
    login.CharacterName = name_.toStdString();
    login.CharacterPassword = "pw-" + name_.toLower().toStdString();
    login.CharacterShape = 0;  // a bot has no shape table: 0 leaves the choice to the server
    login.WorldIdentity = options_.Identity.toStdString();
    login.LocalUDPPort = "0";  // any free port: many bots share one machine
    session_.SetLogin(login);
    session_.ClearEntered();
    tcp_.connectToHost(options_.Server, options_.TcpPort);
}

void TBot::WriteTCP(std::string_view bytes)
{
    ++stats_.TcpSent;
    tcp_.write(bytes.data(), qint64(bytes.size()));
}

bool TBot::TCPActive() const { return tcp_.state() == QAbstractSocket::ConnectedState; }

void TBot::CloseTCP()
{
    // The session closes the connection only when the server refused the login.
    Fail("refused: " + lastLog_);
}

bool TBot::BindUDP(uint16_t localPort)
{
    if (udp_.state() == QAbstractSocket::BoundState)
        udp_.close();
    if (!udp_.bind(QHostAddress(QHostAddress::AnyIPv4), localPort)) {
        Fail("cannot bind a UDP port");
        return false;
    }
    return true;
}

void TBot::SetUDPRemote(std::string_view host, uint16_t port)
{
    serverAddress_ = QHostAddress(QString::fromLatin1(host.data(), qsizetype(host.size())));
    serverUdpPort_ = port;
}

void TBot::SendDatagram(std::string_view bytes)
{
    ++stats_.UdpSent;
    udp_.writeDatagram(bytes.data(), qint64(bytes.size()), serverAddress_, serverUdpPort_);
}

void TBot::StartRetransmitTimer()
{
    loggedIn_ = true;
    ++stats_.LoginsSucceeded;
    retransmitTimer_.start();
}

void TBot::ConnectionClosed()
{
    retransmitTimer_.stop();
    thinkTimer_.stop();
    if (!finished_ && !failed_) {
        ++stats_.ConnectionsLost;
        Fail(loggedIn_ ? "lost its connection" : "was disconnected during the login");
    }
}

void TBot::Fail(const std::string& why)
{
    if (failed_)
        return;
    failed_ = true;
    if (!loggedIn_)
        ++stats_.LoginsFailed;
    stats_.Failures.push_back(name_.toStdString() + " " + why);
    platform::ConsoleLine(name_.toStdString() + ": " + why);
    tcp_.abort();
}

void TBot::MessageArriving(uint32_t type, std::string_view payload)
{
    ++(readingUdp_ ? stats_.UdpReceived : stats_.TcpReceived);
    if (type == net::msg::server_identity && options_.Identity.isEmpty()) {
        // No identity of its own: the bot takes whatever world the server runs.
        net::TLoginChoices login = session_.Login();
        login.WorldIdentity.assign(payload);
        session_.SetLogin(login);
    } else if (type == net::msg::server_beatackack) {
        const uint8_t sequence = uint8_t(payload[0]);
        if (beatAckPending_[sequence]) {
            beatAckPending_[sequence] = false;
            stats_.BeatRoundTrips.push_back(platform::TickCount() - beatAckSentAt_[sequence]);
        }
    }
}

void TBot::MessageHandled(uint32_t type, std::string_view payload)
{
    if (type == net::msg::server_protocolversion && payload != net::ProtocolVersion) {
        Fail("server speaks protocol " + Text(payload));
    } else if (type == net::msg::server_beat) {
        const uint8_t sequence = uint8_t(payload[0]);
        if (session_.Channel().BeatSequence() == sequence) {
            beatAckSentAt_[sequence] = platform::TickCount();
            beatAckPending_[sequence] = true;
        }
    }
}

void TBot::Press(uint8_t key)
{
    const uint8_t code = net::DirectionCode(key);
    session_.KeyPressed(key);
    ++stats_.KeysSent;
    keySentAt_[code] = platform::TickCount();
    keyPending_[code] = true;
}

void TBot::Release(uint8_t key)
{
    const uint8_t code = net::DirectionCode(key);
    session_.KeyReleased(key);
    ++stats_.KeysSent;
    keySentAt_[code] = platform::TickCount();
    keyPending_[code] = true;
}

void TBot::Think()
{
    // One decision every 200 ms: keys change at most every few decisions, so each
    // press lives long enough to be acknowledged.
    std::uniform_int_distribution<int> roll(0, 99);
    uint8_t held = 0;
    for (const uint8_t key : ArrowKeys)
        if (session_.Channel().IsKeyDown(key))
            held = key;
    // A press is released only once acknowledged, so every key change is heard.
    if (held && session_.Channel().DownAcked(held) && (calm_ || roll(rng_) < 20)) {
        Release(held);
        return;
    }
    if (calm_ || held)
        return;
    if (roll(rng_) < 25) {
        Press(ArrowKeys[std::uniform_int_distribution<int>(0, 3)(rng_)]);
        return;
    }
    if (roll(rng_) < 1) {
        const char* line = ChatLines[std::uniform_int_distribution<int>(0, 4)(rng_)];
        ++stats_.ChatLines;
        session_.SendChat(line);
    }
}

void TBot::Calm() { calm_ = true; }

void TBot::Finish()
{
    finished_ = true;
    retransmitTimer_.stop();
    thinkTimer_.stop();
    tcp_.disconnectFromHost();
}

int TBot::Unacknowledged() const
{
    int n = 0;
    for (const bool pending : keyPending_)
        n += pending;
    return n;
}

}  // namespace bot
