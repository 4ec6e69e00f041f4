// A headless client: the handshake as the client's handler runs it, then walking.
#include "bot.h"

#include "net/message_types.h"
#include "net/messages.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace bot {
namespace {

constexpr uint8_t ArrowKeys[4] = {net::VK_UP, net::VK_DOWN, net::VK_LEFT, net::VK_RIGHT};

constexpr const char* ChatLines[] = {
    "hello there", "anyone near the well?", "lovely day", "which way to the market?", "see you around",
};

std::string Text(std::string_view payload) { return std::string(payload.substr(0, 200)); }

}  // namespace

TBot::TBot(int number, const TBotOptions& options, TBotStats& stats)
    : name_(QStringLiteral("Bot%1").arg(number, 3, 10, QLatin1Char('0'))),
      options_(options),
      stats_(stats),
      rng_(options.Seed * 7919u + uint32_t(number)),
      format_(table_),
      channel_(timer_)
{
    format_.SetHandler([this](int32_t index, uint32_t type, std::string_view payload) {
        HandleServerMessage(index, type, payload);
    });
    channel_.SetSendDatagram([this](std::string_view message) {
        ++stats_.UdpSent;
        udp_.writeDatagram(message.data(), qint64(message.size()), serverAddress_, serverUdpPort_);
    });
    channel_.SetSendTCP([this](std::string_view message) { SendTCP(message); });
    channel_.SetOnKeyAck([this](uint8_t code, bool, uint32_t) {
        if (code < keyPending_.size() && keyPending_[code]) {
            keyPending_[code] = false;
            ++stats_.KeysAcknowledged;
            stats_.KeyAckLatencies.push_back(platform::TickCount() - keySentAt_[code]);
        }
    });
    channel_.SetOnEnterGame([this] { thinkTimer_.start(200); });

    connect(&tcp_, &QTcpSocket::connected, this, [this] {
        const int32_t index = table_.AddSocket(&tcp_, tcp_.peerAddress().toString().toStdString(), tcp_.peerPort());
        table_.Entry(index).UDP = &udp_;
    });
    connect(&tcp_, &QTcpSocket::readyRead, this, [this] {
        char chunk[16384];
        for (qint64 n; (n = tcp_.read(chunk, sizeof chunk)) > 0;) {
            in_.Append(chunk, size_t(n));
            format_.ProcessStream(tcp_.peerAddress().toString().toStdString(), tcp_.peerPort(), in_);
        }
    });
    connect(&tcp_, &QTcpSocket::disconnected, this, [this] {
        table_.RemoveSocket(&tcp_);
        retransmitTimer_.stop();
        thinkTimer_.stop();
        if (!finished_ && !failed_) {
            ++stats_.ConnectionsLost;
            Fail(loggedIn_ ? "lost its connection" : "was disconnected during the login");
        }
    });
    connect(&tcp_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError && !finished_)
            Fail("socket error: " + tcp_.errorString().toStdString());
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
            net::TGameChannel::InUDPDataReceived(format_, table_, &udp_, from.toString().toStdString(), fromPort,
                                                 std::string_view(datagram, size_t(n)));
            readingUdp_ = false;
        }
    });
    retransmitTimer_.setInterval(50);
    connect(&retransmitTimer_, &QTimer::timeout, this, [this] {
        const uint64_t before = channel_.Retransmissions();
        channel_.RetransmitTimerTimer();
        stats_.Retransmissions += channel_.Retransmissions() - before;
    });
    connect(&thinkTimer_, &QTimer::timeout, this, &TBot::Think);
}

TBot::~TBot() = default;

void TBot::Connect()
{
    channel_.ClearEntered();
    tcp_.connectToHost(options_.Server, options_.TcpPort);
}

void TBot::SendTCP(std::string_view message)
{
    ++stats_.TcpSent;
    tcp_.write(message.data(), qint64(message.size()));
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

void TBot::HandleServerMessage(int32_t, uint32_t type, std::string_view payload)
{
    using namespace net;
    ++(readingUdp_ ? stats_.UdpReceived : stats_.TcpReceived);
    if (!PayloadFits(type, payload))
        return;
    auto send = [this](uint32_t t, std::string_view p) { SendTCP(TVxProtocolFormat::MakeMessage(t, p)); };
    switch (type) {
    case msg::server_protocolversion:
        if (payload != "2") {
            Fail("server speaks protocol " + Text(payload));
            return;
        }
        send(msg::client_version, "0.2.3");
        send(msg::client_protocolversion, "2");
        send(msg::client_identity, options_.Identity.toStdString());
        return;
    case msg::server_identity:
        if (!options_.Identity.isEmpty() && payload != options_.Identity.toStdString()) {
            Fail("server runs another world: " + Text(payload));
            return;
        }
        send(msg::client_name, name_.toStdString());
        return;
    case msg::server_nameok:
        send(msg::client_password, "pw-" + name_.toLower().toStdString());
        return;
    case msg::server_udpport: {
        TUdpPort port;
        Decode(payload, port);
        serverUdpPort_ = port.Port;
        serverAddress_ = tcp_.peerAddress();
        if (!udp_.bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
            Fail("cannot bind a UDP port");
            return;
        }
        loggedIn_ = true;
        ++stats_.LoginsSucceeded;
        channel_.LoginAccepted();
        retransmitTimer_.start();
        // A bot has no shape table: shape 0 leaves the choice to the server.
        send(msg::client_shape, Payload(TShape{0}).View());
        channel_.SendUDP(TVxProtocolFormat::MakeMessage(msg::client_udpport, Payload(TUdpPort{udp_.localPort()}).View()));
        return;
    }
    case msg::server_beat: {
        const uint8_t sequence = uint8_t(payload[0]);
        channel_.server_beat(payload);
        if (channel_.BeatSequence() == sequence) {
            beatAckSentAt_[sequence] = platform::TickCount();
            beatAckPending_[sequence] = true;
        }
        return;
    }
    case msg::server_beatackack: {
        const uint8_t sequence = uint8_t(payload[0]);
        if (beatAckPending_[sequence]) {
            beatAckPending_[sequence] = false;
            stats_.BeatRoundTrips.push_back(platform::TickCount() - beatAckSentAt_[sequence]);
        }
        channel_.server_beatackack(payload);
        return;
    }
    case msg::server_keydown_ack:
        channel_.server_keydown_ack(payload);
        return;
    case msg::server_keyup_ack:
        channel_.server_keyup_ack(payload);
        return;
    case msg::server_badname:
        Fail("refused: bad name");
        return;
    case msg::server_badpassword:
        Fail("refused: bad password");
        return;
    case msg::server_full:
        Fail("refused: " + Text(payload));
        return;
    case msg::server_ip_inuse:
        Fail("refused: address in use");
        return;
    case msg::server_npc_add:
        net::server_npc_add(actors_, payload);
        return;
    case msg::server_npc_remove:
        net::server_npc_remove(actors_, payload);
        return;
    case msg::server_npc_state:
        net::server_npc_state(actors_, payload);
        return;
    case msg::server_npc_say:
        net::server_npc_say(actors_, speech_, payload);
        return;
    case msg::server_player_id:
        net::server_player_id(actors_, payload);
        return;
    case msg::server_player_pos:
        net::server_player_pos(actors_, timer_, payload);
        return;
    default:
        return;  // welcome, notice, version: nothing to do for a bot
    }
}

void TBot::Press(uint8_t key)
{
    const uint8_t code = net::DirectionCode(key);
    channel_.KeyPressed(key);
    ++stats_.KeysSent;
    keySentAt_[code] = platform::TickCount();
    keyPending_[code] = true;
}

void TBot::Release(uint8_t key)
{
    const uint8_t code = net::DirectionCode(key);
    channel_.KeyReleased(key);
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
        if (channel_.IsKeyDown(key))
            held = key;
    // A press is released only once acknowledged, so every key change is heard.
    if (held && channel_.DownAcked(held) && (calm_ || roll(rng_) < 20)) {
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
        SendTCP(net::TVxProtocolFormat::MakeMessage(net::msg::client_chat, line));
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
