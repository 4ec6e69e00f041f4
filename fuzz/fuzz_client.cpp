// The client session with a hostile server as its peer: whole server messages of any
// type and payload over TCP and in datagrams from the server's address, the right
// handshake answers mixed in so that runs reach the game, the UDP channel's beats,
// key acknowledgements and retransmission on the fake clock, and the host failing
// where a real one can (no UDP port, a world that does not load, a closed socket).
// fuzz_net feeds the same session unframed bytes; this target speaks in messages.
//
// Input: steps until the bytes run out, each a step byte and its operands:
//   0 t n bytes      a server message over TCP: type t (the catalogue's t-th, or any
//                    32-bit code when t is past it), payload of n bytes; split in two
//                    reads at a byte of it
//   1 c (t n bytes)* a datagram from the server's address holding c + 1 messages
//   2 which ...      the handshake answer a server gives (welcome, version, identity,
//                    name accepted, UDP port p16, beat s t32, beat round trip s t32)
//   3 ms(u16)        the clock moves on, then one retransmission tick
//   4 key / 5 key    key pressed / released
//   6 x y tx ty      walk to a target (i16 each), a resend while walking, or a stop
//   7 n bytes        raw TCP bytes
//   8 c n bytes      a datagram from another address or port
//   9                the connection ends; Connect starts a fresh one
//   10 e             a socket error (Winsock number picked by e), or the socket
//                    becomes writable, or a chat line
//   11 f             the host's faults from now on: bit 0 UDP bind fails, bit 1 the
//                    world data raises, bit 2 the TCP connection is closed
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

#include "input_reader.h"
#include "net/client_session.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/npc_list.h"
#include "net/protocol.h"
#include "net/protocol_constants.h"
#include "platform/binary_file.h"
#include "platform/tick_count.h"

namespace {

constexpr const char* kServer = "127.0.0.1";
constexpr uint16_t kServerPort = 12578;
constexpr const char* kIdentity = "EMBER VALE";
constexpr size_t kCatalogue = sizeof net::MessageCatalogue / sizeof net::MessageCatalogue[0];

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_client: %s\n", what);
    std::abort();
}

bool ClientType(uint32_t type)
{
    return net::MessageName(type).substr(0, 7) == "client_";
}

// Whatever the session sends must be whole messages of the client's own types.
void CheckFrames(std::string_view bytes, bool datagram)
{
    if (datagram && bytes.empty())
        Broken("an empty datagram");
    while (!bytes.empty()) {
        if (net::TVxProtocolFormat::IsIncomplete(bytes))
            Broken("the session sent bytes that are not whole messages");
        const size_t length = net::TVxProtocolFormat::PayloadLength(bytes);
        if (!ClientType(net::TVxProtocolFormat::ExtractType(bytes)))
            Broken("the session sent a message that is not a client's");
        bytes.remove_prefix(length);
        if (datagram && !bytes.empty())
            Broken("a datagram of more than one message");
    }
}

struct Host : net::TClientSessionHost {
    void WriteTCP(std::string_view bytes) override
    {
        if (!open)
            Broken("bytes written to a closed TCP connection");
        CheckFrames(bytes, false);
    }
    bool TCPActive() const override { return open; }
    void CloseTCP() override { open = false; }
    bool BindUDP(uint16_t port) override
    {
        if (bindFails)
            return false;
        local = port == 0 ? 28101 : port;
        return true;
    }
    uint16_t UDPLocalPort() const override { return local; }
    void SetUDPRemote(std::string_view host, uint16_t) override
    {
        if (host != kServer)
            Broken("datagrams sent somewhere else than the server's address");
    }
    void SendDatagram(std::string_view bytes) override { CheckFrames(bytes, true); }
    void AddLogLine(std::string_view line) override { sink += line.size(); }
    void LoadWorldData() override
    {
        if (worldFails)
            throw EInOutError("cannot read STATIC\\VXMAP");
    }
    void StartRetransmitTimer() override {}
    void EnterGame() override
    {
        if (entered)
            Broken("the game entered twice on one connection");
        entered = true;
    }
    void ConnectionClosed() override {}
    void ConnectionRefused() override {}

    uint16_t local = 0;
    bool open = true;
    bool bindFails = false;
    bool worldFails = false;
    bool entered = false;
    size_t sink = 0;
};

struct Client {
    Host host;
    net::TSocketTable sockets;
    net::TGameTimer timer;
    net::TNPCList actors;
    net::TSpeechHistory history;
    int connection = 0;  // stands in for the socket objects
    int endpoint = 0;
    net::TClientSession session{host, actors, timer, history, sockets, &endpoint};

    Client()
    {
        net::TLoginChoices login;
        login.CharacterName = "Fuzz";
        login.CharacterPassword = "secret";
        login.CharacterShape = 155;
        login.WorldIdentity = kIdentity;
        session.SetLogin(login);
        Connect();
    }

    void Connect()
    {
        host.open = true;
        host.entered = false;
        session.ClearEntered();
        session.InSocketLookup();
        session.InSocketConnecting();
        session.InSocketConnect(&connection, kServer, kServerPort);
    }

    void Observe()
    {
        if (session.Entered() != host.entered)
            Broken("the session and the game window disagree on whether the game is entered");
        std::lock_guard<std::mutex> hold(actors.Lock());
        int32_t count = 0;
        const net::TNPCNode* previous = nullptr;
        for (const net::TNPCNode* node = actors.Head(); node; node = node->Next) {
            if (node->Prev != previous)
                Broken("a node's back link does not name the node before it");
            if (node->Name.Length > net::MaxNameLength || node->Speech.Length > net::MaxSpeechLength)
                Broken("a stored text is longer than its field");
            previous = node;
            ++count;
        }
        if (count != actors.Count())
            Broken("the list's count differs from its nodes");
    }
};

std::string Message(uint32_t type, std::string_view payload)
{
    return net::TVxProtocolFormat::MakeMessage(type, payload);
}

// A message of any type with the input's payload.
std::string AnyMessage(fuzz::InputReader& in)
{
    const uint8_t pick = in.Byte();
    uint32_t type;
    if (pick < kCatalogue) {
        type = net::MessageCatalogue[pick].Type;
    } else {
        type = uint32_t(in.U16()) << 16;
    }
    return Message(type, in.Take(in.Byte()));
}

std::string Word32(uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// The answer a well-behaved server gives next, picked by the input.
std::string HandshakeAnswer(fuzz::InputReader& in)
{
    using namespace net::msg;
    switch (in.Byte() % 7) {
    case 0: return Message(server_welcome, "Welcome to Veltharn.");
    case 1: return Message(server_protocolversion, net::ProtocolVersion);
    case 2: return Message(server_identity, kIdentity);
    case 3: return Message(server_nameok, "");
    case 4: {
        const uint16_t port = in.U16();
        return Message(server_udpport, std::string{char(port), char(port >> 8)});
    }
    case 5: {
        const char sequence = char(in.Byte());
        return Message(server_beat, sequence + Word32(in.U16() | uint32_t(in.U16()) << 16));
    }
    default: {
        const char sequence = char(in.Byte());
        return Message(server_beatackack, sequence + Word32(in.U16()));
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static platform::FakeClock clock(1000);
    clock.Set(1000);
    Client client;
    net::TClientSession& session = client.session;
    fuzz::InputReader in(data, size);
    std::string bytes;
    while (!in.Empty()) {
        const uint8_t step = in.Byte() % 12;
        try {
            switch (step) {
            case 0: {
                bytes = AnyMessage(in);
                const size_t cut = in.Byte() % (bytes.size() + 1);
                session.InSocketRead(std::string_view(bytes).substr(0, cut));
                session.InSocketRead(std::string_view(bytes).substr(cut));
                break;
            }
            case 1: {
                bytes.clear();
                for (int n = in.Byte() % 4; n >= 0; --n)
                    bytes += AnyMessage(in);
                session.InUDPDataReceived(kServer, net::DefaultServerUdpPort, bytes);
                break;
            }
            case 2: {
                const bool udp = in.Byte() & 1;
                bytes = HandshakeAnswer(in);
                if (udp)
                    session.InUDPDataReceived(kServer, net::DefaultServerUdpPort, bytes);
                else
                    session.InSocketRead(bytes);
                break;
            }
            case 3:
                clock.Advance(in.U16());
                session.RetransmitTimerTimer();
                break;
            case 4: session.KeyPressed(in.Byte()); break;
            case 5: session.KeyReleased(in.Byte()); break;
            case 6: {
                const uint8_t how = in.Byte();
                const int x = in.I16(), y = in.I16(), tx = in.I16(), ty = in.I16();
                if (how % 3 == 2)
                    session.SendWalkStop();
                else if (session.Channel().Walking() && how % 3 == 1)
                    session.ResendWalkTarget(x, y, tx, ty);
                else
                    session.SendWalkTo(x, y, tx, ty);
                break;
            }
            case 7: session.InSocketRead(in.Take(in.Byte())); break;
            case 8: {
                const bool otherAddress = in.Byte() & 1;
                session.InUDPDataReceived(otherAddress ? "127.0.0.2" : kServer,
                                          otherAddress ? net::DefaultServerUdpPort : 40000, in.Take(in.Byte()));
                break;
            }
            case 9:
                session.InSocketDisconnect(&client.connection);
                client.Connect();
                break;
            case 10: {
                static constexpr int kErrors[] = {10035, 10061, 10054, 10060, 11001, 10004};
                const uint8_t e = in.Byte();
                if (e < 6)
                    session.InSocketError(kErrors[e]);
                else if (e < 128)
                    session.InSocketWrite();
                else
                    session.SendChat(in.Take(e - 128));
                break;
            }
            case 11: {
                const uint8_t f = in.Byte();
                client.host.bindFails = f & 1;
                client.host.worldFails = f & 2;
                if (f & 4)
                    client.host.open = false;
                break;
            }
            }
        } catch (const EInOutError&) {
            // The world did not load: the application's handler reports it and the
            // session goes on with the next event.
        }
        client.Observe();
    }
    return 0;
}
