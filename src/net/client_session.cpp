// The client session: connection events, the send path, the handshake and the
// handler of every server message.
#include "net/client_session.h"

#include <cstdint>
#include <mutex>
#include <string>

#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/protocol_constants.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace net {

int WinsockErrorNumber(ESocketFault fault)
{
    switch (fault) {
    case ESocketFault::WouldBlock: return WSAEWOULDBLOCK;
    case ESocketFault::ConnectionRefused: return WSAECONNREFUSED;
    case ESocketFault::ConnectionReset: return 10054;
    case ESocketFault::TimedOut: return 10060;
    case ESocketFault::HostNotFound: return 11001;
    case ESocketFault::NetworkDown: return 10050;
    case ESocketFault::AccessDenied: return 10013;
    case ESocketFault::AddressInUse: return 10048;
    case ESocketFault::AddressNotAvailable: return 10049;
    case ESocketFault::Unsupported: return 10045;
    case ESocketFault::Other: break;
    }
    return 10004;
}

bool ParseDecimal(std::string_view text, int32_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const size_t digits = text.size() - i;
    if (digits == 0 || digits > 10)
        return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    value = int32_t(v);
    return true;
}

bool ChooseLocalUDPPort(std::string_view firstArgument, std::string_view localUDPPortBox, uint16_t& port,
                        std::string& chosenText)
{
    const std::string_view text =
        firstArgument.substr(0, 4) == "udp=" ? firstArgument.substr(4) : localUDPPortBox;
    chosenText.assign(text);
    int32_t value = 0;
    if (!ParseDecimal(text, value) || value < 0 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

TClientSession::TClientSession(TClientSessionHost& host, TNPCList& actors, TGameTimer& timer,
                               TSpeechHistory& speech, TSocketTable& sockets, TUDPEndpoint udp)
    : host_(host),
      actors_(actors),
      timer_(timer),
      speech_(speech),
      sockets_(sockets),
      udp_(udp),
      format_(sockets),
      channel_(timer)
{
    format_.SetHandler([this](int32_t index, uint32_t type, std::string_view payload) {
        HandleServerMessage(index, type, payload);
    });
    channel_.SetSendDatagram([this](std::string_view message) { host_.SendDatagram(message); });
    channel_.SetSendTCP([this](std::string_view message) { SendTCP(message); });
    channel_.SetLog([this](std::string_view line) { Log(line); });
    channel_.SetOnEnterGame([this] { host_.EnterGame(); });
    scratch_.reserve(256);
}

// --- connection events ---

void TClientSession::InSocketLookup() { Log("Looking up host..."); }

void TClientSession::InSocketConnecting() { Log("Socket connection in progress."); }

void TClientSession::InSocketConnect(TConnection connection, std::string_view peerAddress, uint16_t peerPort)
{
    Log("TCP Connection accepted.");
    peerAddress_.assign(peerAddress);
    peerPort_ = peerPort;
    sockets_.AddSocket(connection, peerAddress, peerPort);
    format_.SetHandler([this](int32_t index, uint32_t type, std::string_view payload) {
        HandleServerMessage(index, type, payload);
    });
    const int32_t index = sockets_.FindSocket(peerAddress, peerPort);
    sockets_.Entry(index).UDP = udp_;
    writable_ = true;
}

void TClientSession::InSocketRead(std::string_view bytes)
{
    received_.Append(bytes);
    format_.ProcessStream(peerAddress_, peerPort_, received_);
}

void TClientSession::InSocketWrite()
{
    if (!pending_.empty()) {
        host_.WriteTCP(pending_);
        pending_.clear();
    }
    writable_ = true;
}

void TClientSession::InSocketDisconnect(TConnection connection)
{
    Log("TCP Disconnected.");
    sockets_.RemoveSocket(connection);
    // Nothing of this connection may reach the next one: a reconnect starts with no
    // half message to parse and nothing queued to send.
    received_.Clear();
    pending_.clear();
    host_.ConnectionClosed();
}

int TClientSession::InSocketError(int errorNumber)
{
    Log("TCP: Winsock error # " + std::to_string(errorNumber) + " while in state");
    if (errorNumber == WSAEWOULDBLOCK) {
        Log("Operation would block.");
    } else if (errorNumber == WSAECONNREFUSED) {
        Log("Connection refused.");
        host_.ConnectionRefused();
        host_.CloseTCP();
        return 0;
    }
    return errorNumber;
}

// --- sending ---

void TClientSession::SendTCP(std::string_view message)
{
    if (!writable_) {
        pending_.append(message);
        return;
    }
    if (host_.TCPActive())
        host_.WriteTCP(message);
}

void TClientSession::SendTCP(uint32_t type, std::string_view payload)
{
    scratch_.clear();
    TVxProtocolFormat::AppendMessage(scratch_, type, payload);
    SendTCP(std::string_view(scratch_));
}

// --- the handshake ---

void TClientSession::ProtocolVersionArrived(std::string_view payload)
{
    Log("server_protocolversion: " + std::string(payload));
    if (payload == ProtocolVersion) {
        Log("Protocol compatable.");
        SendTCP(msg::client_version, ClientVersionText);
        SendTCP(msg::client_protocolversion, ProtocolVersion);
        SendTCP(msg::client_identity, login_.WorldIdentity);
        return;
    }
    int32_t version = 0;
    refused_ = true;  // this client cannot play there, however often it tries
    if (!ParseDecimal(payload, version)) {
        OwnLog("The server's protocol version is not a number; nothing more is sent.");
        return;
    }
    if (version > 2)
        Log("You have an outdated client. You will need to upgrade to play on this server.");
    else
        Log("Server version is outdated. You cannot play on this server until it is upgraded.");
}

void TClientSession::IdentityArrived(std::string_view payload)
{
    Log("Server has: " + std::string(payload));
    Log("You have: " + login_.WorldIdentity);
    if (payload == login_.WorldIdentity) {
        Log("IDENTITY matches.");
        SendTCP(msg::client_name, login_.CharacterName);
        return;
    }
    Log("IDENTITY does not match server:");
    Log("The server is running a different Tessarine game then you.");
    refused_ = true;
    host_.CloseTCP();
}

void TClientSession::LoginAccepted(int32_t index, std::string_view payload)
{
    TUdpPort server;
    Decode(payload, server);  // the payload's length has been checked
    serverUdpPort_ = server.Port;
    platform::ConsoleLine(login_.FirstArgument);

    uint16_t localPort = 0;
    std::string portText;
    if (!ChooseLocalUDPPort(login_.FirstArgument, login_.LocalUDPPort, localPort, portText)) {
        OwnLog("The local UDP port \"" + portText + "\" is not a port number; the login stops here.");
        refused_ = true;
        return;
    }
    if (!host_.BindUDP(localPort)) {
        OwnLog("Cannot bind UDP port #" + std::to_string(localPort) + "; the login stops here.");
        refused_ = true;
        return;
    }
    host_.SetUDPRemote(sockets_.Entry(index).Address, serverUdpPort_);
    clientUdpPort_ = host_.UDPLocalPort();
    Log("Server is on UDP port #" + std::to_string(serverUdpPort_));
    Log("Client is on UDP port #" + std::to_string(clientUdpPort_));
    Log("Loading game data.");

    {
        std::lock_guard<std::mutex> hold(actors_.Lock());
        TNPCNode* head = actors_.Head();
        head->Shape = login_.CharacterShape;
        head->Name.Assign(login_.CharacterName);  // cut to MaxNameLength
        head->X = 0;
        head->Y = 0;
        head->PosX = 0.0;
        head->PosY = 0.0;
        head->LastTime = platform::TickCount();
    }
    host_.LoadWorldData();

    channel_.LoginAccepted();
    host_.StartRetransmitTimer();
    SendTCP(msg::client_shape, Payload(TShape{login_.CharacterShape}).View());
    scratch_.clear();
    AppendMessage(scratch_, msg::client_udpport, TUdpPort{clientUdpPort_});
    channel_.SendUDP(scratch_);
    beatHeard_ = false;
    udpAnnouncedAt_ = platform::TickCount();
    Log("Awaiting server_beat.");
}

void TClientSession::RetransmitTimerTimer()
{
    if (clientUdpPort_ != 0 && !beatHeard_ && platform::TickCount() - udpAnnouncedAt_ >= UdpAnnounceInterval) {
        udpAnnouncedAt_ = platform::TickCount();
        scratch_.clear();
        AppendMessage(scratch_, msg::client_udpport, TUdpPort{clientUdpPort_});
        channel_.SendUDP(scratch_);
    }
    channel_.RetransmitTimerTimer();
}

void TClientSession::Refuse(std::string_view line)
{
    Log(line);
    refused_ = true;
    host_.CloseTCP();
}

void TClientSession::SpeechArrived(std::string_view payload)
{
    const uint32_t before = speech_.Count;
    server_npc_say(actors_, speech_, payload);
    if (speech_.Count == before)
        return;  // an actor we do not know: not shown, not logged
    TNpcSay m;
    Decode(payload, m);  // server_npc_say has taken it
    int32_t own = 0;
    {
        std::lock_guard<std::mutex> hold(actors_.Lock());
        own = actors_.Head()->ID;
    }
    // The player's own line comes back from the server; it was logged as it was sent.
    if (m.ID != own)
        host_.SpeechHeard(m.ID, m.Text);
}

void TClientSession::HandleServerMessage(int32_t index, uint32_t type, std::string_view payload)
{
    // A fixed-layout message shorter than its layout is dropped with a console line.
    if (!PayloadFits(type, payload))
        return;
    host_.MessageArriving(type, payload);
    switch (type) {
    case msg::server_welcome: Log("server_welcome: " + std::string(payload)); break;
    case msg::server_notice: Log("server_notice: " + std::string(payload)); break;
    case msg::server_version: Log("server_version: " + std::string(payload)); break;
    case msg::server_protocolversion: ProtocolVersionArrived(payload); break;
    case msg::server_identity: IdentityArrived(payload); break;
    case msg::server_nameok:
        Log("Name OK, sending password..");
        SendTCP(msg::client_password, login_.CharacterPassword);
        break;
    case msg::server_udpport: LoginAccepted(index, payload); break;
    case msg::server_full: Refuse("server_full: " + std::string(payload)); break;
    case msg::server_ip_inuse: Refuse("server_ip_inuse: Cannot create connection entry."); break;
    case msg::server_badname: Refuse("Name \"" + login_.CharacterName + "\" is an invalid name."); break;
    case msg::server_badpassword: Refuse("Invalid or incorrect password."); break;
    case msg::server_beat:
        beatHeard_ = true;
        channel_.server_beat(payload);
        break;
    case msg::server_beatackack: channel_.server_beatackack(payload); break;
    case msg::server_keydown_ack: channel_.server_keydown_ack(payload); break;
    case msg::server_keyup_ack: channel_.server_keyup_ack(payload); break;
    case msg::server_npc_add: server_npc_add(actors_, payload); break;
    case msg::server_npc_remove: server_npc_remove(actors_, payload); break;
    case msg::server_npc_state: server_npc_state(actors_, payload); break;
    case msg::server_npc_say: SpeechArrived(payload); break;
    case msg::server_player_id: server_player_id(actors_, payload); break;
    case msg::server_player_pos: server_player_pos(actors_, timer_, payload); break;
    default: return;  // outside the catalogue, or a client's message: ignored
    }
    host_.MessageHandled(type, payload);
}

void TClientSession::InUDPDataReceived(std::string_view sourceAddress, uint16_t sourcePort,
                                       std::string_view datagram)
{
    TGameChannel::InUDPDataReceived(format_, sockets_, udp_, sourceAddress, sourcePort, datagram);
}

}  // namespace net
