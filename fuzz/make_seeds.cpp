// Writes the seed corpora of the fuzz targets, one folder each, with the writers
// the tests use: intact files and a few typical shapes of damage.
//
//   make_seeds OUTDIR   ->  OUTDIR/{net,shapes,world,initgame,config,...}/
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "net/message_types.h"
#include "net/protocol.h"
#include "formats/flex_writer.h"
#include "support/mini_game.h"
#include "formats/shape_writer.h"
#include "formats/world_writer.h"

namespace {

using formats::Bytes;

std::string outDir;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes)
{
    formats::WriteFile(outDir + "/" + target + "/" + name, bytes);
}

Bytes ReadAll(const std::string& path)
{
    Bytes bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

// --- net: steps of fuzz_net ---

std::string Message(uint32_t type, const Bytes& payload)
{
    return net::TVxProtocolFormat::MakeMessage(type, std::string_view(reinterpret_cast<const char*>(payload.data()),
                                                                      payload.size()));
}

void Step(Bytes& out, uint8_t step, const std::string& bytes)
{
    out.push_back(step);
    formats::PutU16(out, uint16_t(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void NetSeeds()
{
    using namespace net::msg;
    Bytes add, state, say, id, pos, beat, ack;
    formats::PutI32(add, 7);
    formats::PutU16(add, 155);
    formats::PutU8(add, 8);
    formats::PutU8(add, 2);
    formats::PutU16(add, 940);
    formats::PutU16(add, 1220);
    formats::PutI32(state, 7);
    state.resize(45, 0x40);
    formats::PutI32(say, 7);
    formats::PutU32(say, 3000);
    for (char c : std::string("Well met, traveller."))
        say.push_back(uint8_t(c));
    formats::PutI32(id, 7);
    pos = {2, 0, 0xAC, 0x03, 0xC4, 0x04, 0};
    beat = {1, 0x10, 0x27, 0, 0};
    ack = {1, 40, 0, 0, 0};
    Bytes remove;
    formats::PutI32(remove, 7);
    remove.resize(8, 0);

    // The TCP side: actors arrive, speak, move and go, split across reads.
    const std::string stream = Message(server_npc_add, add) + Message(server_npc_say, say) +
                               Message(server_npc_state, state) + Message(server_player_id, id) +
                               Message(server_player_pos, pos) + Message(server_npc_remove, remove) +
                               Message(server_welcome, {'h', 'i'});
    Bytes tcp;
    Step(tcp, 0, stream.substr(0, 11));
    Step(tcp, 0, stream.substr(11));
    Seed("net", "tcp_actors", tcp);

    // The UDP side: login, beats, keys and their acknowledgements, retransmission.
    Bytes udp;
    udp.push_back(7);
    Step(udp, 1, Message(server_beat, beat));
    Step(udp, 1, Message(server_beatackack, ack) + Message(server_beat, {2, 0x20, 0x27, 0, 0}));
    udp.insert(udp.end(), {4, 0x26, 3, 0xF4, 0x01});
    Step(udp, 1, Message(server_keydown_ack, {1, 0, 0, 0, 0}));
    udp.insert(udp.end(), {5, 0x26, 3, 0x90, 0x01});
    Step(udp, 2, Message(server_keyup_ack, {1, 0, 0, 0, 0}));
    udp.insert(udp.end(), {6, 10, 0, 20, 0, 0xAC, 0x03, 0xC4, 0x04, 6, 200, 0, 150, 0, 0, 0, 0, 0, 9, 8});
    Seed("net", "udp_channel", udp);

    // Short payloads of every actor message.
    std::string shortOnes;
    for (uint32_t type : {server_npc_add, server_npc_remove, server_npc_state, server_npc_say, server_player_id,
                          server_player_pos, server_beat, server_beatackack, server_keydown_ack})
        shortOnes += Message(type, {1, 2, 3});
    Bytes shorts;
    Step(shorts, 0, shortOnes);
    Step(shorts, 1, shortOnes);
    Seed("net", "short_payloads", shorts);
}

// --- client: steps of fuzz_client ---

void ClientSeeds()
{
    using namespace net::msg;
    // The handshake into the game: welcome, version, identity, name accepted, the
    // server's UDP port, a beat and its round trip by datagram.
    const Bytes handshake = {2, 0, 0, 2, 0, 1, 2, 0, 2, 2, 0, 3, 2, 0, 4, 0xE1, 0x30, 2, 1, 5, 7, 0x10, 0x27, 0, 0,
                             2, 1, 6, 7, 0x20, 0x27};
    Seed("client", "handshake", handshake);

    // In the game: keys with their acknowledgements and retransmission, walking,
    // actors arriving by datagram and speaking over TCP, the connection lost and
    // made again.
    Bytes game = handshake;
    auto message = [&](uint8_t catalogueIndex, const Bytes& payload) {
        game.push_back(catalogueIndex);
        game.push_back(uint8_t(payload.size()));
        game.insert(game.end(), payload.begin(), payload.end());
    };
    auto index = [](uint32_t type) {
        uint8_t i = 0;
        while (net::MessageCatalogue[i].Type != type)
            ++i;
        return i;
    };
    game.insert(game.end(), {4, 0x26, 3, 0x40, 0, 3, 0x40, 0});
    game.insert(game.end(), {1, 1});
    message(index(server_keydown_ack), {1, 0, 0, 0, 0});
    message(index(server_npc_add), {7, 0, 0, 0, 155, 0, 8, 2, 0xAC, 0x03, 0xC4, 0x04});
    game.push_back(0);
    message(index(server_npc_say), {7, 0, 0, 0, 0xB8, 0x0B, 0, 0, 'H', 'a', 'i', 'l'});
    game.push_back(3);  // the read is cut after three bytes
    game.insert(game.end(), {5, 0x26, 6, 0, 10, 0, 20, 0, 0xAC, 0x03, 0xC4, 0x04, 3, 0x90, 0x01});
    game.insert(game.end(), {10, 130, 'h', 'i', 9, 2, 0, 1});
    Seed("client", "game", game);
}

// --- server: steps of fuzz_server ---

void ServerSeeds()
{
    auto index = [](uint32_t type) {
        uint8_t i = 0;
        while (net::MessageCatalogue[i].Type != type)
            ++i;
        return i;
    };
    // Into the game: protocol version, identity, name, password and its check, shape,
    // UDP port, entering; then a key by datagram, a beat answer, a chat line and time.
    Bytes game = {1, 0, 1, 1, 1, 2, 1, 3, 1, 4, 6, 1, 5, 1, 6, 1, 7, 5, 0x40, 0, 3, 0, index(net::msg::client_keydown), 14};
    for (uint8_t b : {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        game.push_back(b);
    game.insert(game.end(), {1, 8, 1, 0x10, 0x27, 0, 0, 1, 9, 5, 'h', 'e', 'l', 'l', 'o', 5, 0xFF, 0});
    Seed("server", "game", game);
    // A wrong password, then messages while the next one is checked.
    Seed("server", "password",
         {1, 1, 1, 2, 1, 0x13, 1, 0x14, 6, 1, 0x13, 1, 4, 1, 5, 1, 7, 2, 3, 1, 2, 3, 6, 7, 1, 3});
}

// --- shapes: mode byte + file ---

void ShapeSeeds()
{
    const std::string folder = outDir + "/.game/";
    support::MiniGame game;
    game.objectShapes = 4;
    game.fonts = 2;
    game.gumps = 3;
    support::WriteMiniGame(folder, game);
    const char* names[4] = {"SHAPES.VGA", "FONTS.VGA", "GUMPS.VGA", "POINTERS.SHP"};
    for (uint8_t mode = 0; mode < 4; ++mode) {
        Bytes seed{mode};
        formats::PutBytes(seed, ReadAll(folder + "STATIC/" + names[mode]));
        Seed("shapes", std::string("intact_") + names[mode], seed);
    }
    std::filesystem::remove_all(folder);

    // A shape of encoded spans with colour and literal runs, clipped at both ends.
    formats::Frame frame;
    frame.header[0] = 9;
    formats::Span encoded;
    encoded.x = -3;
    encoded.y = -2;
    encoded.encoded = true;
    encoded.runs = {{true, {7}, 5}, {false, {1, 2, 3}, 3}, {true, {9}, 127}};
    formats::Span raw;
    raw.x = 1;
    raw.y = 1;
    raw.raw = {4, 5, 6, 7};
    frame.spans = {encoded, raw};
    formats::Frame second = frame;
    second.spans[0].y = 3;
    Bytes shapes;
    std::vector<Bytes> entries;
    for (int i = 0; i < 150; ++i)
        entries.push_back(Bytes(64, uint8_t(i + 1)));
    entries.push_back(formats::MakeShape({frame, second}));
    entries.push_back(formats::MakeShape({frame}));
    Bytes seed{0};
    formats::PutBytes(seed, formats::MakeFlex(entries));
    Seed("shapes", "encoded_spans", seed);

    Bytes pointer{3};
    formats::PutBytes(pointer, formats::MakeShape({frame, second, frame}));
    Seed("shapes", "encoded_pointer", pointer);
}

// --- world: fixed archive VXFZ movable stream VXFZ region map ---

void WorldSeeds()
{
    formats::FixRegion fix;
    fix[0].push_back({1, 2, 3, formats::ShapeWord(300, 1)});
    fix[5].push_back({4, 4, 10, formats::ShapeWord(310, 2)});
    fix[5].push_back({5, 4, 5, formats::ShapeWord(311, 0)});
    formats::RegRegion reg;
    reg[0].push_back(formats::MovableShort(3, 4, formats::ShapeWord(302, 2), 5));
    reg[18].push_back(formats::MovableLong(20, 21, formats::ShapeWord(400, 0), 2,
                                           {formats::MovableShort(20, 21, formats::ShapeWord(303, 0), 2),
                                            formats::MovableLong(20, 21, formats::ShapeWord(404, 0), 2)}));
    std::vector<uint16_t> numbers(256 * 2);
    for (size_t i = 0; i < numbers.size(); ++i)
        numbers[i] = uint16_t(i * 7 % 3100);
    const Bytes map = formats::MakeRegionMap(numbers);

    auto join = [](const Bytes& a, const Bytes& b, const Bytes& c) {
        Bytes out = a;
        for (const Bytes* part : {&b, &c}) {
            for (char ch : std::string("VXFZ"))
                out.push_back(uint8_t(ch));
            formats::PutBytes(out, *part);
        }
        return out;
    };
    const Bytes intact = join(formats::MakeFixRegion(fix), formats::MakeRegRegion(reg), map);
    Seed("world", "intact", intact);
    // Make Map: an option byte first (views, threads, PNG, lift limit).
    for (uint8_t options : {uint8_t(0x01), uint8_t(0xFB)}) {
        Bytes seed{options};
        formats::PutBytes(seed, intact);
        Seed("makemap", "intact_" + std::to_string(options), seed);
    }
    Bytes cut = formats::MakeRegRegion(reg);
    cut.resize(cut.size() / 2);
    Seed("world", "cut_stream", join(formats::MakeFlexDeclaring({{1, 2, 3, 4, 5}}, 300), cut, {}));
}

// --- initgame: the archive ---

void InitGameSeeds()
{
    Seed("initgame", "intact",
         formats::MakeInitGame({{"IDENTITY", {'E', 'V', '\r', '\n'}}, {"VXIREG00", Bytes(300, 0)}, {"A", {}}}));
    Seed("initgame", "long_name", formats::MakeInitGame({{"ABCDEFGHIJKLM", {1, 2, 3}}, {"..", {4}}}));
}

// --- config: pick byte + user.reg text ---

void ConfigSeeds()
{
    auto seed = [](const std::string& name, uint8_t pick, const std::string& text) {
        Bytes bytes{pick};
        bytes.insert(bytes.end(), text.begin(), text.end());
        Seed("config", name, bytes);
    };
    const std::string client = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\VxaClient]\r\n"
                               "\"LastIP\"=\"127.0.0.1\"\r\n"
                               "\"FullScreen\"=dword:00000000\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\VxaClient\\Worlds]\r\n"
                               "\"Count\"=dword:00000001\r\n"
                               "\"1\"=\"C:\\\\Games\\\\Tessarine\\\\\"\r\n";
    seed("client", 0x85, client);
    seed("values", 0x46,
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n; a comment\n"
         "[HKEY_CURRENT_USER\\Software\\VxaClient\\Servers]\n"
         "@=\"default\"\n"
         "\"Name \\\"quoted\\\"\"=hex(1):41,00,42,00,3d,d8,00,de,00,00\n"
         "\"Bin\"=hex:01,02,\\\n  03,04\n"
         "\"D\"=hex(4):78,56,34,12\n"
         "\"Other\"=hex(7):61,00,00,00\n"
         "[HKEY_CURRENT_USER\\Software\\VxaClient\\Servers\\Deep\\Below]\n"
         "\"x\"=\"y\"\n");
    seed("broken", 0x01, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTDIR\n");
        return 2;
    }
    outDir = argv[1];
    NetSeeds();
    ShapeSeeds();
    WorldSeeds();
    InitGameSeeds();
    ConfigSeeds();
    ClientSeeds();
    ServerSeeds();
    return 0;
}
