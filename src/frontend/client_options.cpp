// Parsing of the client's command line.
#include "frontend/client_options.h"

#include <functional>
#include <map>
#include <set>

#include "platform/version.h"

ClientOptions CommandLine;

namespace {

bool IsPortText(const std::string& text)
{
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return std::stoi(text) <= 65535;
}

}  // namespace

ParsedCommandLine ParseClientOptions(const std::vector<std::string>& args)
{
    ParsedCommandLine parsed;
    ClientOptions& o = parsed.Options;
    if (!args.empty())
        o.FirstArgument = args[0];
    const std::map<std::string, std::function<void(const std::string&)>> withValue = {
        {"--server", [&](const std::string& v) { o.Server = v; }},
        {"--tcp-port", [&](const std::string& v) { o.TcpPort = v; }},
        {"--udp-port", [&](const std::string& v) { o.UdpPort = v; }},
        {"--local-udp-port", [&](const std::string& v) { o.LocalUdpPortBox = v; }},
        {"--name", [&](const std::string& v) { o.Name = v; }},
        {"--password", [&](const std::string& v) { o.Password = v; }},
        {"--install-world", [&](const std::string& v) { o.InstallWorld = v; }},
    };
    const std::map<std::string, bool*> flags = {
        {"--connect", &o.Connect},   {"--log-to-stdout", &o.LogToStdout}, {"--map-viewer", &o.MapViewer},
        {"--offline-game", &o.OfflineGame},
        {"--help", &o.Help},         {"-h", &o.Help},                     {"--version", &o.Version},
    };
    const std::map<std::string, std::string> ports = {
        {"--tcp-port", ""}, {"--udp-port", ""}, {"--local-udp-port", ""}};

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (i == 0 && arg.compare(0, 4, "udp=") == 0) {
            o.LocalUdpPort = arg.substr(4);
            continue;
        }
        if (auto flag = flags.find(arg); flag != flags.end()) {
            *flag->second = true;
            continue;
        }
        std::string name = arg, value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (auto option = withValue.find(name); option != withValue.end()) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    parsed.Error = "option " + name + " needs a value";
                    return parsed;
                }
                value = args[++i];
            }
            if (ports.count(name) && !IsPortText(value)) {
                parsed.Error = "option " + name + " needs a port number 0-65535, not \"" + value + "\"";
                return parsed;
            }
            option->second(value);
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            // Qt's own options; these take the next argument as their value.
            static const std::set<std::string> qtWithValue = {
                "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
                "-qwindowtitle", "-qwindowicon", "-style", "-stylesheet", "-session", "-display",
                "-geometry", "-title", "-name", "-qmljsdebugger"};
            o.WindowSystemArgs.push_back(arg);
            if (qtWithValue.count(arg) && i + 1 < args.size())
                o.WindowSystemArgs.push_back(args[++i]);
            continue;
        }
        if (arg.compare(0, 4, "udp=") == 0)
            parsed.Error = "\"" + arg + "\" must be the first argument";
        else if (arg.compare(0, 2, "--") == 0)
            parsed.Error = "unknown option " + arg;
        else
            parsed.Error = "unexpected argument \"" + arg + "\"";
        return parsed;
    }
    return parsed;
}

std::string ClientVersion()
{
    return std::string("vxclient ") + platform::ProgramVersion;
}

std::string ClientUsage()
{
    return "Usage: vxclient [udp=PORT] [options]\n"
           "  udp=PORT              local UDP port (first argument only)\n"
           "  --server ADDR         server address for the login window\n"
           "  --tcp-port N          server TCP port (default 12578)\n"
           "  --udp-port N          server UDP port (default 12577)\n"
           "  --local-udp-port N    local UDP port box (default 28101)\n"
           "  --name NAME           character name\n"
           "  --password PW         password\n"
           "  --connect             press Connect once when the login window first shows\n"
           "  --install-world DIR   when no world is installed, install it from game folder DIR\n"
           "  --log-to-stdout       copy every log line to standard output\n"
           "  --map-viewer          show the map viewer once the login window is up\n"
           "  --offline-game        open the game window on the installed world without a server\n"
           "  --help                show this text\n"
           "  --version             show the version\n"
           "Window-system options (-platform NAME, ...) are passed to Qt.\n";
}
