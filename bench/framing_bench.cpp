// Messages per second through the TCP framing for a realistic in-game mix.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "net/message_types.h"
#include "net/protocol.h"

namespace {

using net::TVxProtocolFormat;

// One second of a busy area, roughly: actor states and adds, speech, position
// corrections, key acknowledgements and the odd notice.
std::string BusyStream(int rounds)
{
    std::string stream;
    for (int i = 0; i < rounds; ++i) {
        for (int j = 0; j < 6; ++j)
            TVxProtocolFormat::AppendMessage(stream, net::msg::server_npc_state, std::string(45, char(i + j)));
        TVxProtocolFormat::AppendMessage(stream, net::msg::server_npc_add, std::string(12, char(i)));
        TVxProtocolFormat::AppendMessage(stream, net::msg::server_npc_remove, std::string(8, char(i)));
        TVxProtocolFormat::AppendMessage(stream, net::msg::server_npc_say,
                                         std::string(8, '\0') + "Fair winds to you, traveller.");
        TVxProtocolFormat::AppendMessage(stream, net::msg::server_player_pos, std::string(7, char(i)));
        TVxProtocolFormat::AppendMessage(stream, net::msg::server_keydown_ack, std::string(5, char(i)));
        if (i % 8 == 0)
            TVxProtocolFormat::AppendMessage(stream, net::msg::server_notice, std::string(120, 'n'));
    }
    return stream;
}

// The stream arrives in reads of one TCP segment (1460 bytes), each followed by
// ProcessStream, as the connection window does.
void BM_ProcessStream(benchmark::State& state)
{
    const std::string stream = BusyStream(256);
    net::TSocketTable sockets;
    int connection = 0;
    sockets.AddSocket(&connection, "127.0.0.1", 40000);
    TVxProtocolFormat format(sockets);
    int64_t messages = 0;
    uint32_t checksum = 0;
    format.SetHandler([&](int32_t index, uint32_t type, std::string_view payload) {
        ++messages;
        checksum += type ^ uint32_t(index) ^ uint32_t(payload.size());
    });
    net::TReceiveBuffer buffer;
    const size_t chunk = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += chunk) {
            buffer.Append(std::string_view(stream).substr(at, chunk));
            format.ProcessStream("127.0.0.1", 40000, buffer);
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.SetItemsProcessed(messages);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}
BENCHMARK(BM_ProcessStream)->Arg(1460)->Arg(64);

}  // namespace

BENCHMARK_MAIN();
