// vxserver's handling of one hostile client: the server runs in this process on
// loopback (its sockets are Qt's, so the target talks to it through real ones, and
// both sides share this thread's event loop), and each input is one connection's
// life: any client messages and raw bytes over TCP, datagrams to the endpoint the
// server opens at login (from the client's own UDP socket or a stranger's), the
// correct handshake steps mixed in so that runs reach the game, the clock moving
// on, and messages arriving while a password is checked on the worker threads.
// Afterwards the connection is closed and the server must free its session.
//
// Input: steps until the bytes run out, each a step byte and its operands:
//   0 t n bytes   a client message over TCP: type t (the catalogue's t-th, or any
//                 32-bit code when t is past it) with n bytes of payload
//   1 which ...   the handshake step (low four bits) a client takes (version, protocol version,
//                 identity, name, password, shape, UDP port, enter the game, a beat
//                 answer, a chat line); names and passwords from a small set (high bits)
//   2 n bytes     raw TCP bytes
//   3 c (t n bytes)* a datagram of c + 1 client messages to the server's endpoint
//   4 n bytes     the same from a stranger's UDP socket
//   5 ms(u16)     the clock moves on (ms * 16), then the server's Tick
//   6             the event loop runs until password checks have answered
//   7             the TCP connection is reset (a new one is made for what follows)
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "accounts.h"
#include "fuzz_folder.h"
#include "game_server.h"
#include "input_reader.h"
#include "net/message_types.h"
#include "net/protocol.h"
#include "net/protocol_constants.h"
#include "platform/tick_count.h"
#include "test_world.h"

namespace {

constexpr size_t kCatalogue = sizeof net::MessageCatalogue / sizeof net::MessageCatalogue[0];

[[noreturn]] void Broken(const char* what, int error = 0)
{
    if (error != 0)
        std::fprintf(stderr, "fuzz_server: %s: %s\n", what, std::strerror(error));
    else
        std::fprintf(stderr, "fuzz_server: %s\n", what);
    std::abort();
}

struct Server {
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<platform::FakeClock> clock;
    std::unique_ptr<server::TGameServer> game;
};

Server& TheServer()
{
    static Server s = [] {
        Server s;
        static int argc = 1;
        static char name[] = "fuzz_server";
        static char* argv[] = {name, nullptr};
        s.app = std::make_unique<QCoreApplication>(argc, argv);
        s.clock = std::make_unique<platform::FakeClock>(100000);
        const std::string folder = fuzz::ScratchFolder() + "world/";
        servertest::WriteServerTestWorld(folder);
        server::TServerOptions options;
        options.GameFolder = folder;
        options.DataFolder = QString::fromStdString(fuzz::ScratchFolder());
        options.Bind = QHostAddress::LocalHost;
        options.TcpPort = 0;
        options.UdpPort = 0;
        options.Npcs = 2;
        options.PasswordCost = server::CheapPasswordCost;
        s.game = std::make_unique<server::TGameServer>(options);
        if (!s.game->Start())
            Broken("the server did not start");
        return s;
    }();
    return s;
}

void Pump(int turns = 3)
{
    for (int i = 0; i < turns; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Lets the event loop sleep until something happens, 2 ms at most: waiting for the
// worker threads or for the server to see a close must not spin on the core they need.
void WaitABit()
{
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(2);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// A client on a plain non-blocking socket, reading what the server sends so that it
// learns the UDP endpoint's port and the server's output never backs up.
class Client {
public:
    explicit Client(uint16_t port) : port_(port)
    {
        udp_.setProxy(QNetworkProxy::NoProxy);
        udp_.bind(QHostAddress::LocalHost, 0);
        stranger_.setProxy(QNetworkProxy::NoProxy);
        stranger_.bind(QHostAddress::LocalHost, 0);
        Connect();
    }
    ~Client() { Close(false); }

    // Non-blocking from the start: libFuzzer's timeout alarm interrupts system calls
    // (its handler does not ask for them to be restarted), and a blocking connect that
    // it interrupts would leave the connection half made.
    void Connect()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0)
            Broken("cannot make a socket", errno);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            if (errno != EINPROGRESS && errno != EINTR)
                Broken("cannot connect to the server", errno);
            // The server's accept runs on this thread, but the kernel completes a
            // loopback handshake by itself; only the wait can be interrupted.
            pollfd writable{fd_, POLLOUT, 0};
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            int ready = 0;
            while ((ready = ::poll(&writable, 1, 100)) <= 0) {
                if ((ready < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= until)
                    Broken("the connection to the server was not made", ready < 0 ? errno : ETIMEDOUT);
            }
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
                Broken("cannot connect to the server", error != 0 ? error : errno);
        }
        in_.clear();
        Pump();
    }

    void Close(bool reset)
    {
        if (fd_ < 0)
            return;
        if (reset) {
            linger off{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        }
        ::close(fd_);
        fd_ = -1;
    }

    void Send(std::string_view bytes)
    {
        size_t sent = 0;
        for (int tries = 0; sent < bytes.size() && tries < 100; ++tries) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += size_t(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;  // the server has closed: the rest goes nowhere
            Pump(1);
            Receive();
        }
        Pump();
        Receive();
    }

    void SendDatagram(std::string_view bytes, bool stranger)
    {
        if (serverUdp_ == 0)
            return;
        (stranger ? stranger_ : udp_).writeDatagram(bytes.data(), qint64(bytes.size()), QHostAddress::LocalHost,
                                                     serverUdp_);
        Pump();
        Receive();
    }

    // Takes what the server has sent: whole messages of the server's own types.
    void Receive()
    {
        char chunk[8192];
        for (;;) {
            const ssize_t n = fd_ < 0 ? -1 : ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            in_.append(chunk, size_t(n));
        }
        std::string_view rest = in_;
        while (!net::TVxProtocolFormat::IsIncomplete(rest)) {
            const size_t length = net::TVxProtocolFormat::PayloadLength(rest);
            const uint32_t type = net::TVxProtocolFormat::ExtractType(rest);
            if (net::MessageName(type).substr(0, 7) != "server_")
                Broken("the server sent a message that is not a server's");
            if (type == net::msg::server_udpport && length >= 2)
                serverUdp_ = uint16_t(uint8_t(rest[0]) | uint8_t(rest[1]) << 8);
            rest.remove_prefix(length);
        }
        in_.erase(0, in_.size() - rest.size());
        while (udp_.hasPendingDatagrams())
            udp_.readDatagram(chunk, sizeof chunk);
        while (stranger_.hasPendingDatagrams())
            stranger_.readDatagram(chunk, sizeof chunk);
    }

    uint16_t UdpPort() const { return udp_.localPort(); }

private:
    uint16_t port_;
    int fd_ = -1;
    std::string in_;
    QUdpSocket udp_, stranger_;
    uint16_t serverUdp_ = 0;
};

std::string Message(uint32_t type, std::string_view payload)
{
    return net::TVxProtocolFormat::MakeMessage(type, payload);
}

std::string AnyMessage(fuzz::InputReader& in)
{
    const uint8_t pick = in.Byte();
    const uint32_t type = pick < kCatalogue ? net::MessageCatalogue[pick].Type : uint32_t(in.U16()) << 16;
    return Message(type, in.Take(in.Byte()));
}

std::string Word16(uint16_t v) { return std::string{char(v), char(v >> 8)}; }

std::string HandshakeStep(fuzz::InputReader& in, const Client& client)
{
    using namespace net::msg;
    static constexpr std::string_view kNames[] = {"Fuzz", "fuzz", "Wanderer", "A", "Name With Spaces 0123456789"};
    static constexpr std::string_view kPasswords[] = {"secret", "wrong", "", "a longer password than most"};
    const uint8_t which = in.Byte();
    switch ((which & 15) % 10) {
    case 0: return Message(client_version, net::ClientVersionText);
    case 1: return Message(client_protocolversion, net::ProtocolVersion);
    case 2: return Message(client_identity, servertest::Identity);
    case 3: return Message(client_name, kNames[(which >> 4) % 5]);
    case 4: return Message(client_password, kPasswords[(which >> 4) % 4]);
    case 5: return Message(client_shape, Word16(uint16_t(servertest::CharacterShape + (which >> 4))));
    case 6: return Message(client_udpport, Word16(client.UdpPort()));
    case 7: return Message(client_entergame, {});
    case 8: {
        std::string ack = std::string(1, char(in.Byte())) + Word16(in.U16()) + Word16(in.U16());
        return Message(client_beatack, ack);
    }
    default: return Message(client_chat, in.Take(in.Byte() % 64));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Server& s = TheServer();
    server::TGameServer& game = *s.game;
    {
        Client client(game.TcpPort());
        fuzz::InputReader in(data, size);
        while (!in.Empty()) {
            switch (in.Byte() % 8) {
            case 0: client.Send(AnyMessage(in)); break;
            case 1: {
                const std::string step = HandshakeStep(in, client);
                // The UDP port goes by datagram as the client sends it; all else by TCP.
                std::string_view header = step;
                if (net::TVxProtocolFormat::ExtractType(header) == net::msg::client_udpport) {
                    client.SendDatagram(step, false);
                } else {
                    client.Send(step);
                }
                break;
            }
            case 2: client.Send(in.Take(in.Byte())); break;
            case 3: {
                std::string datagram;
                for (int n = in.Byte() % 4; n >= 0; --n)
                    datagram += AnyMessage(in);
                client.SendDatagram(datagram, false);
                break;
            }
            case 4: client.SendDatagram(in.Take(in.Byte()), true); break;
            case 5:
                s.clock->Advance(uint32_t(in.U16()) * 16);
                game.Tick();
                Pump();
                client.Receive();
                break;
            case 6: {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while ((game.PasswordChecksRunning() > 0 || game.PasswordChecksWaiting() > 0) &&
                       std::chrono::steady_clock::now() < until) {
                    WaitABit();
                    if (game.PasswordChecksWaiting() > 0 && game.PasswordChecksRunning() == 0) {
                        s.clock->Advance(1000);  // an address's delay after failures
                        game.Tick();
                    }
                }
                client.Receive();
                break;
            }
            case 7:
                client.Close(true);
                Pump();
                client.Connect();
                break;
            }
        }
    }
    // The client has gone: the server frees its session within its close grace,
    // and the next input starts with the server as it was (no connection, no check
    // running, and the per-address limits of this one forgotten).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    Pump();
    while ((game.Connections() > 0 || game.PasswordChecksRunning() > 0 || game.PasswordChecksWaiting() > 0) &&
           std::chrono::steady_clock::now() < until) {
        s.clock->Advance(server::CloseGrace);
        game.Tick();
        WaitABit();
    }
    if (game.Connections() > 0)
        Broken("a closed client's session was not freed");
    s.clock->Advance(2 * 3600 * 1000);
    game.Tick();
    Pump();
    return 0;
}
