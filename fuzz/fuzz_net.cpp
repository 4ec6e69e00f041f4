// Server bytes as the client meets them: TCP chunks and UDP datagrams go through the
// client session (framing, the sender check, the handshake and every message's
// handler: the actor list, the speech history, the UDP channel), mixed with the
// client's own steps (keys, mouse walking, the retransmission timer, the clock
// moving on, the connection ending and starting again). The same TCP bytes also go
// to a server check, which must write only whole messages, close at most once and
// write nothing after it closed.
//
// Input: steps until the bytes run out, each a step byte and its operands:
//   0 L(u16) bytes   a TCP chunk of L bytes, then the stream is processed
//   1 L(u16) bytes   a datagram from the server's address
//   2 L(u16) bytes   a datagram from another address (the sender check drops it)
//   3 ms(u16)        the clock moves on, then one retransmission tick
//   4 key            key pressed          5 key   key released
//   6 x y tx ty (i16 each)   walk to a target, or a resend when already walking
//   7                login accepted        8      a new connection (ClearEntered)
//   9                the connection ends and is made again
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "input_reader.h"
#include "net/client_session.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/npc_list.h"
#include "net/protocol.h"
#include "net/server_check.h"
#include "platform/tick_count.h"

namespace {

constexpr const char* kServer = "127.0.0.1";
constexpr uint16_t kServerPort = 12578;

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_net: %s\n", what);
    std::abort();
}

// Whatever the session sends must be whole messages.
void CheckFrames(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (net::TVxProtocolFormat::IsIncomplete(bytes))
            Broken("the session sent bytes that are not whole messages");
        bytes.remove_prefix(4u + net::TVxProtocolFormat::PayloadLength(bytes));
    }
}

// The sockets and windows around the session.
struct Host : net::TClientSessionHost {
    void WriteTCP(std::string_view bytes) override { CheckFrames(bytes); }
    bool TCPActive() const override { return true; }
    void CloseTCP() override {}
    bool BindUDP(uint16_t port) override
    {
        local = port;
        return true;
    }
    uint16_t UDPLocalPort() const override { return local; }
    void SetUDPRemote(std::string_view, uint16_t) override {}
    void SendDatagram(std::string_view bytes) override
    {
        if (net::TVxProtocolFormat::IsIncomplete(bytes) ||
            net::TVxProtocolFormat::PayloadLength(bytes) + 4u != bytes.size())
            Broken("a datagram that is not one whole message");
    }
    void AddLogLine(std::string_view line) override { sink += line.size(); }
    void LoadWorldData() override {}
    void StartRetransmitTimer() override {}
    void EnterGame() override {}
    void ConnectionClosed() override {}
    void ConnectionRefused() override {}

    uint16_t local = 0;
    size_t sink = 0;
};

// Everything the client keeps for one connection.
struct Client {
    Host host;
    net::TSocketTable sockets;
    net::TGameTimer timer;
    net::TNPCList actors;
    net::TSpeechHistory history;
    int connection = 0;  // stands in for the socket objects
    int endpoint = 0;
    net::TClientSession session{host, actors, timer, history, sockets, &endpoint};
    int checkCloses = 0;
    net::TServerCheck check{"EMBER VALE",
                            [this](std::string_view bytes) {
                                if (checkCloses)
                                    Broken("the server check wrote after its close");
                                CheckFrames(bytes);
                            },
                            [this] {
                                if (++checkCloses > 1)
                                    Broken("the server check closed twice");
                            }};

    Client()
    {
        net::TLoginChoices login;
        login.CharacterName = "Fuzz";
        login.WorldIdentity = "EMBER VALE";
        session.SetLogin(login);
        session.InSocketConnect(&connection, kServer, kServerPort);
    }

    // What the render thread and the game window read after each step: every
    // record of the list, its texts, and the history.
    void Observe()
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        int32_t count = 0;
        const net::TNPCNode* previous = nullptr;
        size_t text = 0;
        for (const net::TNPCNode* node = actors.Head(); node; node = node->Next) {
            if (node->Prev != previous)
                Broken("a node's back link does not name the node before it");
            if (node->Name.Length > net::MaxNameLength || node->Speech.Length > net::MaxSpeechLength)
                Broken("a stored text is longer than its field");
            text += node->Name.View().size() + node->Speech.View().size();
            previous = node;
            ++count;
        }
        if (count != actors.Count())
            Broken("the list's count differs from its nodes");
        for (const auto& said : history.Texts)
            text += said.View().size();
        sink_ += text;
    }

    size_t sink_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static platform::FakeClock clock(1000);
    clock.Set(1000);
    Client client;
    net::TClientSession& session = client.session;
    fuzz::InputReader in(data, size);
    while (!in.Empty()) {
        const uint8_t step = in.Byte() % 10;
        switch (step) {
        case 0: {
            const std::string_view chunk = in.Take(in.U16());
            session.InSocketRead(chunk);
            client.check.Read(chunk, clock.Now());
            break;
        }
        case 1:
        case 2: {
            const uint16_t n = in.U16();
            session.InUDPDataReceived(step == 1 ? kServer : "10.0.0.9", 12577, in.Take(n));
            break;
        }
        case 3:
            clock.Advance(in.U16());
            session.RetransmitTimerTimer();
            client.check.TimedOut(clock.Now());
            break;
        case 4: session.KeyPressed(in.Byte()); break;
        case 5: session.KeyReleased(in.Byte()); break;
        case 6: {
            const int x = in.I16(), y = in.I16(), tx = in.I16(), ty = in.I16();
            if (session.Channel().Walking())
                session.ResendWalkTarget(x, y, tx, ty);
            else
                session.SendWalkTo(x, y, tx, ty);
            break;
        }
        case 7: session.Channel().LoginAccepted(); break;
        case 8: session.ClearEntered(); break;
        case 9:
            session.InSocketDisconnect(&client.connection);
            session.InSocketConnect(&client.connection, kServer, kServerPort);
            break;
        }
        client.Observe();
    }
    return 0;
}
