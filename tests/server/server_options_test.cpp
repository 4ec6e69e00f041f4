// vxserver's command line as an operator writes it.
#include "server_options.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

QStringList Line(std::initializer_list<const char*> args)
{
    QStringList line{QStringLiteral("vxserver")};
    for (const char* a : args)
        line << QString::fromUtf8(a);
    return line;
}

TEST(ServerOptions, EachBadValueIsRefusedWithItsOwnLine)
{
    const struct {
        std::initializer_list<const char*> Args;
        const char* Error;
        int ExitCode;
    } cases[] = {
        {{}, "vxserver: --game DIR is required", 2},
        {{"--game", "w", "--tcp-port", "65536"}, "vxserver: ports are 0 to 65535 and --npcs 0 to 1000", 2},
        {{"--game", "w", "--npcs", "-1"}, "vxserver: ports are 0 to 65535 and --npcs 0 to 1000", 2},
        {{"--game", "w", "--udp-port", "65000", "--udp-ports", "537"},
         "vxserver: --udp-ports is 1 or more, and the range ends at 65535 at most", 2},
        {{"--game", "w", "--max-pending-per-address", "64"},
         "vxserver: --max-pending-per-address is 1 to 63 and --new-accounts-per-minute 0 to 100000", 2},
        {{"--game", "w", "--max-connections-per-address", "0"}, "vxserver: --max-connections-per-address is 1 to 63", 2},
        {{"--game", "w", "--names-per-address", "x"}, "vxserver: --names-per-address is 1 to 100000", 2},
        {{"--game", "w", "--bind", "::1"}, "vxserver: --bind takes an IPv4 address", 2},
        {{"--game", "w", "--database", "mysql://x/y"}, "vxserver: --database takes a postgresql:// URL", 2},
        {{"--game", "w", "--login-lease", "2"}, "vxserver: --login-lease is 3 to 3600 seconds", 2},
        {{"--game", "w", "--welcome", "Hi\x01"}, "vxserver: --welcome must be Latin-1 text without control characters", 2},
        {{"--game", "w", "--welcome", "\xCE\xA9"}, "vxserver: --welcome must be Latin-1 text without control characters", 2},
        {{"--game", "w", "--colour"}, "vxserver: Unknown option 'colour'.", 1},
        {{"--game"}, "vxserver: Missing value after '--game'.", 1},
    };
    for (const auto& c : cases) {
        const server::TParsedServerOptions parsed = server::ParseServerOptions(Line(c.Args));
        EXPECT_EQ(parsed.Error.toStdString(), c.Error) << Line(c.Args).join(' ').toStdString();
        EXPECT_EQ(parsed.ExitCode, c.ExitCode) << c.Error;
    }
}

TEST(ServerOptions, AGoodLineSetsEveryValue)
{
    const server::TParsedServerOptions given = server::ParseServerOptions(
        Line({"--game", "/srv/world", "--tcp-port", "4000", "--udp-port", "0", "--udp-ports", "16", "--npcs", "0",
              "--bind", "127.0.0.1", "--data", "/var/lib/vx", "--login-lease", "60", "--welcome", "Gr\xC3\xBC\xC3\x9F" "e",
              "--max-pending-per-address", "2", "--max-connections-per-address", "3", "--names-per-address", "7",
              "--new-accounts-per-minute", "0", "--database", "postgresql://vx@db/vx"}));
    ASSERT_EQ(given.Error, QString());
    const server::TServerOptions& o = given.Options;
    EXPECT_EQ(o.GameFolder.back(), '/');
    EXPECT_EQ(o.TcpPort, 4000);
    EXPECT_EQ(o.UdpPort, 0);
    EXPECT_EQ(o.UdpPorts, 16);
    EXPECT_EQ(o.Npcs, 0);
    EXPECT_EQ(o.Bind, QHostAddress(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(o.DataFolder, QStringLiteral("/var/lib/vx"));
    EXPECT_EQ(o.LoginLease, 60);
    EXPECT_EQ(o.Welcome, QString::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e"));
    EXPECT_EQ(o.MaxPendingPerAddress, 2);
    EXPECT_EQ(o.MaxConnectionsPerAddress, 3);
    EXPECT_EQ(o.NamesPerAddress, 7);
    EXPECT_EQ(o.NewAccountsPerAddress, 0);
    EXPECT_EQ(o.Database, QStringLiteral("postgresql://vx@db/vx"));

    EXPECT_TRUE(server::ParseServerOptions(Line({"--help"})).Text.contains(QStringLiteral("--names-per-address")));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vxserver"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
