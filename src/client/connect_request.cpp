// Connect's steps, worked out from its request.
#include "client/connect_request.h"

#include <charconv>
#include <cstdio>

namespace {

// The characters of UTF-8 text, one code point each; a byte that starts no valid
// sequence counts as U+FFFD.
template <typename F>
void ForEachCharacter(std::string_view text, F&& f)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto b = uint8_t(text[i]);
        const int more = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = more == 0 ? b : more == 1 ? (b & 0x1F) : more == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = more >= 0 && i + size_t(more) < text.size() + (more == 0 ? 1 : 0);
        for (int k = 1; ok && k <= more; ++k) {
            const auto n = uint8_t(text[i + size_t(k)]);
            ok = (n >> 6) == 2;
            c = (c << 6) | (n & 0x3F);
        }
        if (!ok) {
            f(char32_t(0xFFFD));
            ++i;
            continue;
        }
        f(c);
        i += size_t(more) + 1;
    }
}

// The first character beyond Latin-1: its place (from 1) and code; place 0 when
// every character can be sent.
struct TUnsendable {
    size_t Place = 0;
    char32_t Code = 0;
};

TUnsendable FirstUnsendable(std::string_view text)
{
    TUnsendable first;
    size_t place = 0;
    ForEachCharacter(text, [&](char32_t c) {
        ++place;
        if (first.Place == 0 && c > 0xFF)
            first = {place, c};
    });
    return first;
}

constexpr const char* LatinOnly = "names and passwords go to the server in Latin-1.";

// The refusal of a name: which character, by its code (it may look like a letter
// Latin-1 has, and the log could not show it anyway) and its place.
std::string NameRefusal(TUnsendable c)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unsigned(c.Code));
    return std::string("Not connected: the Character Name box holds ") + code + " (character " +
           std::to_string(c.Place) + "), which cannot be sent; " + LatinOnly;
}

// The refusal of a password, which shows nothing of it.
std::string PasswordRefusal()
{
    return std::string("Not connected: the Password box holds a character that cannot be sent; ") + LatinOnly;
}

}  // namespace

void ApplyGivenPorts(const TGivenChoices& given, TConnectPorts& ports)
{
    if (given.TcpPort)
        ports.Tcp = *given.TcpPort;
    if (given.UdpPort)
        ports.Udp = *given.UdpPort;
    if (given.LocalUdpPort)
        ports.LocalUdp = *given.LocalUdpPort;
}

std::string Latin1(std::string_view utf8)
{
    std::string bytes;
    ForEachCharacter(utf8, [&](char32_t c) { bytes.push_back(c <= 0xFF ? char(c) : '?'); });
    return bytes;
}

bool PortFromBox(std::string_view box, const std::string& text, uint16_t& port, std::string& error)
{
    // Strict decimal, one sign at most: from_chars takes a '-' itself, so a '+' is
    // skipped only when a digit follows.
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+' && begin + 1 != end && *(begin + 1) != '-')
        ++begin;
    int value = -1;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > 65535) {
        error = "The connection window's " + std::string(box) + " box holds '" + text +
                "', which is not a port number (0-65535); nothing was connected.";
        return false;
    }
    port = uint16_t(value);
    return true;
}

TConnectSteps PlanConnect(const TConnectRequest& request)
{
    TConnectSteps steps;
    const TUnsendable inName = FirstUnsendable(request.Name);
    if (inName.Place > 0 || FirstUnsendable(request.Password).Place > 0) {
        steps.Refusal = inName.Place > 0 ? NameRefusal(inName) : PasswordRefusal();
        steps.Focus = inName.Place > 0 ? TConnectSteps::EBox::Name : TConnectSteps::EBox::Password;
        return steps;
    }
    net::TLoginChoices& login = steps.Login;
    login.CharacterName = Latin1(request.Name);
    login.CharacterPassword = Latin1(request.Password);
    login.CharacterShape = request.Figure;
    login.WorldIdentity = request.WorldIdentity;
    login.FirstArgument = request.FirstArgument;
    login.LocalUDPPort = request.Ports.LocalUdp;
    steps.Store = {{"LastIP", request.Server}, {"FullScreen", request.FullScreen ? "Yes" : "No"}};
    steps.ServerText = request.Server;
    steps.Ports = request.Ports;
    // Every box is read before either endpoint is set, so a bad one leaves both as they were.
    const bool portsGood = PortFromBox("TCP port", request.Ports.Tcp, steps.TcpPort, steps.BadPort) &&
                           PortFromBox("local UDP port", request.Ports.LocalUdp, steps.LocalUdpPort, steps.BadPort) &&
                           PortFromBox("UDP port", request.Ports.Udp, steps.UdpPort, steps.BadPort);
    if (!portsGood)
        return steps;
    // The address itself is looked up as typed; the log and the UDP side take its bytes.
    steps.ServerBytes = Latin1(request.Server);
    steps.LogLine = "Initiating TCP connection to " + steps.ServerBytes;
    return steps;
}
