// Connect's steps from the boxes' request, without windows: the window tests drive the
// same steps through the login window; these pin the order of the checks and what each
// step is given.
#include "client/connect_request.h"

#include <gtest/gtest.h>

namespace {

TEST(ConnectRequest, StepsRefuseOrNameTheFirstBadPortBoxOrStartWithTheLatin1Bytes)
{
    struct Case {
        const char* name;
        const char* sent;  // the name as it goes on the wire
        const char* server;
        TConnectPorts ports;
        const char* refusal;  // "" when not refused
        const char* badPort;  // "" when every box is a port
        const char* logLine;
    };
    const Case cases[] = {
        {"J\xC3\xB6rg", "J\xF6rg", "127.0.0.1", {}, "", "", "Initiating TCP connection to 127.0.0.1"},
        // The address goes to the TCP side as typed and to the log and UDP side in Latin-1.
        {"Anna", "Anna", "h\xC3\xBCgel.example", {"+13000", "13001", "0"}, "", "", "Initiating TCP connection to h\xFCgel.example"},
        // The TCP box is read first, then the local UDP box, then the server's UDP box.
        {"Anna", "Anna", "127.0.0.1", {"x", "y", "z"}, "", "The connection window's TCP port box holds 'x'", ""},
        {"Anna", "Anna", "127.0.0.1", {"1", "y", "70000"}, "", "The connection window's local UDP port box holds '70000'", ""},
        {"Anna", "Anna", "127.0.0.1", {"1", "+-2", "3"}, "", "The connection window's UDP port box holds '+-2'", ""},
        // A name the wire cannot carry ends it before the ports are looked at.
        {"\xD0\x85" "am", "", "127.0.0.1", {"x", "y", "z"}, "the Character Name box holds U+0405 (character 1)", "", ""},
    };
    for (const Case& c : cases) {
        TConnectRequest request;
        request.Name = c.name;
        request.Password = "pw";
        request.Server = c.server;
        request.Ports = c.ports;
        request.Figure = 155;
        const TConnectSteps steps = PlanConnect(request);
        SCOPED_TRACE(c.name + std::string(" ") + c.ports.Tcp);
        if (*c.refusal) {
            EXPECT_NE(steps.Refusal.find(c.refusal), std::string::npos) << steps.Refusal;
            EXPECT_EQ(steps.Focus, TConnectSteps::EBox::Name);
            EXPECT_TRUE(steps.Store.empty());
            continue;
        }
        EXPECT_EQ(steps.Refusal, "");
        EXPECT_EQ(steps.Login.CharacterName, c.sent);
        EXPECT_EQ(steps.Login.CharacterShape, 155);
        EXPECT_EQ(steps.Login.LocalUDPPort, c.ports.LocalUdp);
        EXPECT_EQ(steps.Store.front(), (std::pair<std::string, std::string>{"LastIP", c.server}));
        EXPECT_EQ(steps.ServerText, c.server);
        EXPECT_EQ(steps.BadPort.rfind(c.badPort, 0), 0u) << steps.BadPort;
        EXPECT_EQ(steps.BadPort.empty(), *c.badPort == 0);
        EXPECT_EQ(steps.LogLine, c.logLine);
    }
}

}  // namespace
