// A headless client: the handshake as the client's handler runs it, then walking.
#include "bot.h"

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

}  // namespace

TBot::TBot(int number, const TBotOptions& options, TBotStats& stats)
    : name_(QStringLiteral("Bot%1").arg(number, 3, 10, QLatin1Char('0'))),
      options_(options),
      stats_(stats),
      rng_(options.Seed * 7919u + uint32_t(number)),
      session_(*this, actors_, timer_, speech_, table_, Sockets.Endpoint())
{
    session_.Channel().SetOnKeyAck([this](uint8_t code, bool, uint32_t) {
        if (code < keyPending_.size() && keyPending_[code]) {
            keyPending_[code] = false;
            ++stats_.KeysAcknowledged;
            stats_.KeyAckLatencies.push_back(platform::TickCount() - keySentAt_[code]);
        }
    });

    Attach(&session_);
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
    Sockets.Connect(options_.Server, options_.TcpPort);
}

void TBot::WriteTCP(std::string_view bytes)
{
    ++stats_.TcpSent;
    TSessionSockets::WriteTCP(bytes);
}

void TBot::CloseTCP()
{
    // The session closes the connection only when the server refused the login.
    Fail("refused: " + lastLog_);
}

bool TBot::BindUDP(uint16_t localPort)
{
    if (!TSessionSockets::BindUDP(localPort)) {
        Fail("cannot bind a UDP port");
        return false;
    }
    return true;
}

void TBot::SendDatagram(std::string_view bytes)
{
    ++stats_.UdpSent;
    TSessionSockets::SendDatagram(bytes);
}

void TBot::SocketErrorLeft(int errorNumber, const QString& text)
{
    if (!finished_)
        Fail("socket error " + std::to_string(errorNumber) + ": " + text.toStdString());
}

void TBot::DatagramRead(std::string_view fromAddress, uint16_t fromPort, std::string_view bytes)
{
    readingUdp_ = true;
    TSessionSockets::DatagramRead(fromAddress, fromPort, bytes);
    readingUdp_ = false;
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
    Sockets.Abort();
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
    Sockets.Close();
}

int TBot::Unacknowledged() const
{
    int n = 0;
    for (const bool pending : keyPending_)
        n += pending;
    return n;
}

}  // namespace bot
