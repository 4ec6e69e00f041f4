// The connect request and the connect flow as data: what the login window's Connect
// sends and where, and the steps it takes, worked out without a window. The login
// window gives its boxes' texts and carries out the steps in order; the connection
// window shows the endpoints and starts them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/client_session.h"
#include "net/protocol_constants.h"

// The connection window's three port boxes, as given (the command line sets them;
// the player cannot edit them). Texts, since a box may hold anything.
struct TConnectPorts {
    std::string Tcp = std::to_string(net::DefaultServerTcpPort);
    std::string Udp = std::to_string(net::DefaultServerUdpPort);  // the server's side
    std::string LocalUdp = std::to_string(net::DefaultClientUdpPort);
};

// What the command line (and, for the server and full screen, the configuration)
// gives for the login: each value present replaces its box's text; absent, the box
// keeps what it holds. Texts are UTF-8.
struct TGivenChoices {
    std::optional<std::string> Name, Password, Server;
    std::optional<std::string> TcpPort, UdpPort, LocalUdpPort;
    std::optional<bool> FullScreen;
};
void ApplyGivenPorts(const TGivenChoices& given, TConnectPorts& ports);

// Connect's request: the login window's boxes as typed (UTF-8), the ports, the figure
// chosen, the world's identity line and the program's first argument.
struct TConnectRequest {
    std::string Name, Password, Server;
    bool FullScreen = false;
    TConnectPorts Ports;
    uint16_t Figure = 0;
    std::string WorldIdentity;
    std::string FirstArgument;
};

// What Connect does, in order.
struct TConnectSteps {
    // Refused at once (a name or password the wire cannot carry): this line goes to the
    // log and a notice, the named box takes the focus, and nothing else happens.
    std::string Refusal;
    enum class EBox { None, Name, Password } Focus = EBox::None;
    // Remembered (the login choices, in Latin-1 as they go on the wire) and stored in
    // the configuration, in this order.
    net::TLoginChoices Login;
    std::vector<std::pair<std::string, std::string>> Store;
    // Started: the connection window's server box takes ServerText; then, unless a
    // port box is bad (BadPort holds the error, raised as EConvertError before either
    // endpoint is set), TCP connects to ServerText as typed (it is looked up) on TcpPort,
    // UDP binds LocalUdpPort and sends to the address's Latin-1 bytes (ServerBytes)
    // on UdpPort, after LogLine.
    std::string ServerText;
    TConnectPorts Ports;  // the port boxes' texts, as the connection window shows them
    std::string ServerBytes;
    std::string BadPort;
    uint16_t TcpPort = 0, UdpPort = 0, LocalUdpPort = 0;
    std::string LogLine;
};
TConnectSteps PlanConnect(const TConnectRequest& request);

// A port box's text as a port number; false, with the error naming the box ("TCP port",
// "UDP port", "local UDP port"), when it is not one.
bool PortFromBox(std::string_view box, const std::string& text, uint16_t& port, std::string& error);

// UTF-8 text as Latin-1 bytes, one per character; characters beyond Latin-1 become '?'.
std::string Latin1(std::string_view utf8);
