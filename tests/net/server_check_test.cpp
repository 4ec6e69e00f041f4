// The server check on bytes: what it sends and when, what it makes of the answers
// of a server of the same world, another world, another protocol, a full server, one
// that says nothing or garbage, and that it always ends with one close.
#include "net/server_check.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/message_types.h"

namespace net {
namespace {

std::string Frame(uint32_t type, std::string_view payload) { return TVxProtocolFormat::MakeMessage(type, payload); }

std::vector<std::pair<uint32_t, std::string>> Split(std::string_view bytes)
{
    std::vector<std::pair<uint32_t, std::string>> out;
    while (!TVxProtocolFormat::IsIncomplete(bytes)) {
        const size_t length = TVxProtocolFormat::PayloadLength(bytes);
        const uint32_t type = TVxProtocolFormat::ExtractType(bytes);
        out.emplace_back(type, std::string(bytes.substr(0, length)));
        bytes.remove_prefix(length);
    }
    return out;
}

using EState = TServerCheckResult::EState;

class ServerCheck : public ::testing::Test {
protected:
    ServerCheck()
        : check("EMBER VALE", [this](std::string_view b) { sent += b; }, [this] { ++closes; })
    {
        check.Start(1000);
        check.Connected(1002);
    }
    // A server's welcome and protocol version, as every server sends them on connect.
    void Greet(std::string_view version = "2")
    {
        check.Read(Frame(msg::server_welcome, "Welcome to Veltharn.") + Frame(msg::server_protocolversion, version),
                   1010);
    }

    std::string sent;
    int closes = 0;
    TServerCheck check;
};

TEST_F(ServerCheck, SendsWhatALoginSendsUpToTheIdentityAndNoName)
{
    Greet();
    const auto messages = Split(sent);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], std::make_pair(msg::client_version, std::string("0.2.3")));
    EXPECT_EQ(messages[1], std::make_pair(msg::client_protocolversion, std::string("2")));
    EXPECT_EQ(messages[2], std::make_pair(msg::client_identity, std::string("EMBER VALE")));
    EXPECT_FALSE(check.Done());
    EXPECT_EQ(closes, 0);

    // The answer, split across two reads, 37 ms after the identity went out.
    const std::string answer = Frame(msg::server_identity, "EMBER VALE");
    check.Read(answer.substr(0, 5), 1030);
    check.Read(answer.substr(5), 1047);
    ASSERT_TRUE(check.Done());
    const TServerCheckResult& r = check.Result();
    EXPECT_EQ(r.State, EState::Answered);
    EXPECT_TRUE(r.SameProtocol);
    EXPECT_TRUE(r.SameWorld);
    EXPECT_EQ(r.Identity, "EMBER VALE");
    EXPECT_EQ(r.Welcome, "Welcome to Veltharn.");
    EXPECT_EQ(r.RoundTrip, 37);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(Split(sent).size(), 3u) << "nothing after the identity";

    // Whatever comes after the close changes nothing.
    check.Read(Frame(msg::server_full, "x"), 1100);
    check.Closed();
    EXPECT_EQ(check.Result().State, EState::Answered);
    EXPECT_EQ(closes, 1);
}

TEST_F(ServerCheck, AnotherWorldOrAnotherProtocolAnswersButDoesNotFit)
{
    Greet();
    check.Read(Frame(msg::server_notice, "hello") + Frame(msg::server_identity, "Ember Vale"), 1020);
    EXPECT_EQ(check.Result().State, EState::Answered);
    EXPECT_FALSE(check.Result().SameWorld) << "letter case counts";
    EXPECT_EQ(check.Result().Identity, "Ember Vale");

    std::string sent3;
    int closes3 = 0;
    TServerCheck newer("EMBER VALE", [&](std::string_view b) { sent3 += b; }, [&] { ++closes3; });
    newer.Start(0);
    newer.Connected(0);
    newer.Read(Frame(msg::server_protocolversion, "3"), 5);
    EXPECT_EQ(newer.Result().State, EState::Answered);
    EXPECT_FALSE(newer.Result().SameProtocol);
    EXPECT_EQ(newer.Result().ProtocolVersion, "3");
    EXPECT_EQ(newer.Result().RoundTrip, -1);
    EXPECT_TRUE(sent3.empty()) << "nothing is sent to a server of another protocol";
    EXPECT_EQ(closes3, 1);
}

TEST_F(ServerCheck, AnIdentityNobodyAskedForIsNoAnswer)
{
    check.Read(Frame(msg::server_identity, "EMBER VALE"), 1005);
    EXPECT_FALSE(check.Done());
}

TEST_F(ServerCheck, AFullServerSilenceGarbageAndAnEarlyCloseEachEndTheCheckOnce)
{
    check.Read(Frame(msg::server_full, "Too many connections from your address."), 1005);
    EXPECT_EQ(check.Result().State, EState::Full);
    EXPECT_EQ(check.Result().Fault, "Too many connections from your address.");
    EXPECT_EQ(closes, 1);

    int closed = 0;
    auto fresh = [&] {
        auto c = std::make_unique<TServerCheck>("W", [](std::string_view) {}, [&] { ++closed; });
        c->Start(0);
        return c;
    };
    auto silent = fresh();
    silent->Connected(3);
    EXPECT_FALSE(silent->TimedOut(TServerCheck::Timeout - 1));
    EXPECT_TRUE(silent->TimedOut(TServerCheck::Timeout));
    EXPECT_EQ(silent->Result().State, EState::NoAnswer);

    auto garbage = fresh();
    garbage->Connected(3);
    // A header promising 65535 bytes that never come, and more bytes than that.
    garbage->Read(std::string("\xFF\xFF\x30\x00", 4) + std::string(TServerCheck::MaxUnframed, 'x'), 4);
    EXPECT_EQ(garbage->Result().State, EState::NoAnswer);

    auto early = fresh();
    early->Connected(3);
    early->Read(Frame(msg::server_welcome, "hi"), 4);
    early->Closed();
    EXPECT_EQ(early->Result().State, EState::NoAnswer);

    auto nobody = fresh();
    nobody->Failed("Connection refused");
    EXPECT_EQ(nobody->Result().State, EState::Unreachable);
    EXPECT_EQ(nobody->Result().Fault, "Connection refused");
    EXPECT_FALSE(nobody->TimedOut(TServerCheck::Timeout * 2));
    EXPECT_EQ(closed, 4);
}

TEST_F(ServerCheck, LongTextsFromTheServerAreCut)
{
    Greet();
    check.Read(Frame(msg::server_identity, std::string(5000, 'W')), 1020);
    EXPECT_EQ(check.Result().Identity.size(), TServerCheck::MaxText);
    EXPECT_FALSE(check.Result().SameWorld);
}

}  // namespace
}  // namespace net
