// The client's command line, parsed and as the program answers it.
#include "frontend/client_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Runs vxclient with `args`; returns its exit code and both output streams.
int RunClient(const std::string& args, std::string& output)
{
    const std::string command = std::string(VX_BINARY_DIR) + "/bin/vxclient " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buf[512];
    output.clear();
    while (size_t n = fread(buf, 1, sizeof buf, pipe))
        output.append(buf, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ClientOptions, ParsesEveryOptionOfTheCommandLine)
{
    const auto parsed = ParseClientOptions({"udp=28200", "--server", "127.0.0.1", "--tcp-port=13000",
                                            "--udp-port", "13001", "--local-udp-port", "13002", "--name", "",
                                            "--password", "pw", "--connect", "--install-world", "/games/t",
                                            "--log-to-stdout", "--map-viewer", "-platform", "offscreen"});
    ASSERT_EQ(parsed.Error, "");
    const ClientOptions& o = parsed.Options;
    EXPECT_EQ(o.LocalUdpPort, "28200");
    EXPECT_EQ(o.Server, "127.0.0.1");
    EXPECT_EQ(o.TcpPort, "13000");
    EXPECT_EQ(o.UdpPort, "13001");
    EXPECT_EQ(o.LocalUdpPortBox, "13002");
    EXPECT_EQ(o.Name, std::optional<std::string>(""));
    EXPECT_EQ(o.Password, std::optional<std::string>("pw"));
    EXPECT_TRUE(o.Connect && o.LogToStdout && o.MapViewer);
    EXPECT_EQ(o.InstallWorld, "/games/t");
    EXPECT_EQ(o.WindowSystemArgs, (std::vector<std::string>{"-platform", "offscreen"}));
}

TEST(ClientOptions, RejectsWhatItCannotUse)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--install-world"}, "option --install-world needs a value"},
        {{"--connect", "udp=1"}, "\"udp=1\" must be the first argument"},
        {{"--tcp-port", "70000"}, "option --tcp-port needs a port number 0-65535, not \"70000\""},
        {{"stray"}, "unexpected argument \"stray\""},
    };
    for (const auto& [args, error] : cases)
        EXPECT_EQ(ParseClientOptions(args).Error, error);
}

TEST(ClientOptions, ProgramAnswersHelpVersionAndUnknownOptionsWithoutAWindow)
{
    std::string out;
    EXPECT_EQ(RunClient("--version", out), 0);
    EXPECT_EQ(out, ClientVersion() + "\n");
    EXPECT_EQ(RunClient("--help", out), 0);
    EXPECT_EQ(out, ClientUsage());
    EXPECT_EQ(RunClient("--frobnicate", out), 2);
    EXPECT_EQ(out, "vxclient: unknown option --frobnicate\nTry \"vxclient --help\".\n");
}
