// Server bytes as the client meets them: TCP chunks and UDP datagrams are framed by
// the protocol core and every message goes to the handler the client routes it to
// (the actor list, the speech history, the UDP channel), mixed with the client's own
// steps (keys, mouse walking, the retransmission timer, the clock moving on).
//
// Input: steps until the bytes run out, each a step byte and its operands:
//   0 L(u16) bytes   a TCP chunk of L bytes, then the stream is processed
//   1 L(u16) bytes   a datagram from the server's address
//   2 L(u16) bytes   a datagram from another address (the sender check drops it)
//   3 ms(u16)        the clock moves on, then one retransmission tick
//   4 key            key pressed          5 key   key released
//   6 x y tx ty (i16 each)   walk to a target, or a resend when already walking
//   7                login accepted        8      a new connection (ClearEntered)
//   9                the connection goes and comes back in the socket table
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "input_reader.h"
#include "net/game_channel.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/npc_list.h"
#include "net/protocol.h"
#include "platform/tick_count.h"

namespace {

constexpr const char* kServer = "127.0.0.1";
constexpr uint16_t kServerPort = 12578;

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_net: %s\n", what);
    std::abort();
}

// Everything the client keeps for one connection.
struct Client {
    net::TSocketTable sockets;
    net::TVxProtocolFormat format{sockets};
    net::TGameTimer timer;
    net::TGameChannel channel{timer};
    net::TNPCList actors;
    net::TSpeechHistory history;
    net::TReceiveBuffer stream;
    int connection = 0;  // stands in for the socket objects
    int endpoint = 0;

    Client()
    {
        Connect();
        format.SetHandler([this](int32_t, uint32_t type, std::string_view payload) { Route(type, payload); });
        // Whatever the channel sends must be one whole message.
        auto check = [](std::string_view message) {
            if (net::TVxProtocolFormat::IsIncomplete(message) ||
                net::TVxProtocolFormat::PayloadLength(message) + 4u != message.size())
                Broken("the channel sent a message that is not one whole frame");
        };
        channel.SetSendDatagram(check);
        channel.SetSendTCP(check);
    }

    void Connect()
    {
        const int32_t index = sockets.AddSocket(&connection, kServer, kServerPort);
        sockets.Entry(index).UDP = &endpoint;
    }

    void Route(uint32_t type, std::string_view payload)
    {
        switch (type) {
        case net::msg::server_npc_add: net::server_npc_add(actors, payload); break;
        case net::msg::server_npc_remove: net::server_npc_remove(actors, payload); break;
        case net::msg::server_npc_state: net::server_npc_state(actors, payload); break;
        case net::msg::server_npc_say: net::server_npc_say(actors, history, payload); break;
        case net::msg::server_player_id: net::server_player_id(actors, payload); break;
        case net::msg::server_player_pos: net::server_player_pos(actors, timer, payload); break;
        case net::msg::server_beat: channel.server_beat(payload); break;
        case net::msg::server_beatackack: channel.server_beatackack(payload); break;
        case net::msg::server_keydown_ack: channel.server_keydown_ack(payload); break;
        case net::msg::server_keyup_ack: channel.server_keyup_ack(payload); break;
        default: break;  // texts go to the log as they are; the rest is not the client's
        }
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
    fuzz::InputReader in(data, size);
    while (!in.Empty()) {
        const uint8_t step = in.Byte() % 10;
        switch (step) {
        case 0: {
            const uint16_t n = in.U16();
            client.stream.Append(in.Take(n));
            client.format.ProcessStream(kServer, kServerPort, client.stream);
            break;
        }
        case 1:
        case 2: {
            const uint16_t n = in.U16();
            const std::string_view datagram = in.Take(n);
            net::TGameChannel::InUDPDataReceived(client.format, client.sockets, &client.endpoint,
                                                 step == 1 ? kServer : "10.0.0.9", 12577, datagram);
            break;
        }
        case 3:
            clock.Advance(in.U16());
            client.channel.RetransmitTimerTimer();
            break;
        case 4: client.channel.KeyPressed(in.Byte()); break;
        case 5: client.channel.KeyReleased(in.Byte()); break;
        case 6: {
            const int x = in.I16(), y = in.I16(), tx = in.I16(), ty = in.I16();
            if (client.channel.Walking())
                client.channel.ResendWalkTarget(x, y, tx, ty);
            else
                client.channel.SendWalkTo(x, y, tx, ty);
            break;
        }
        case 7: client.channel.LoginAccepted(); break;
        case 8: client.channel.ClearEntered(); break;
        case 9:
            client.sockets.RemoveSocket(&client.connection);
            client.Connect();
            break;
        }
        client.Observe();
    }
    return 0;
}
