// The client's command line: vxclient [udp=PORT] [options].
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ClientOptions {
    std::string FirstArgument;  // the first argument as given ("" when there is none)
    std::string LocalUdpPort;   // "udp=PORT", first argument only, as written
    std::string Server;         // --server ADDR
    std::string TcpPort;        // --tcp-port N
    std::string UdpPort;        // --udp-port N
    std::string LocalUdpPortBox;  // --local-udp-port N
    std::optional<std::string> Name;      // --name NAME
    std::optional<std::string> Password;  // --password PW
    bool Connect = false;       // --connect
    std::string InstallWorld;   // --install-world DIR
    bool LogToStdout = false;   // --log-to-stdout
    bool MapViewer = false;     // --map-viewer
    bool OfflineGame = false;   // --offline-game: the game window on the installed world, no server
    bool Help = false;
    bool Version = false;
    // Arguments starting with a single "-", left to the window system (-platform ...).
    std::vector<std::string> WindowSystemArgs;
};

struct ParsedCommandLine {
    ClientOptions Options;
    std::string Error;  // set when the command line cannot be used
};

// Parses the arguments after the program name.
ParsedCommandLine ParseClientOptions(const std::vector<std::string>& args);

std::string ClientUsage();
std::string ClientVersion();

// The options of this run.
extern ClientOptions CommandLine;
