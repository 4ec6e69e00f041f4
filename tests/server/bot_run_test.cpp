// vxserver with 10 vxbot clients for a few seconds, as separate programs on free
// loopback ports: every bot logs in and every key press is acknowledged.
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "platform/version.h"
#include "support/temp_folder.h"
#include "test_world.h"

namespace {

const QString Bin = QStringLiteral(VX_BINARY_DIR "/bin/");

// The first number after `label` in the bot's report, or -1.
long long Figure(const QString& report, const QString& pattern)
{
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(report);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

TEST(BotRun, TenBotsLogInAndEveryKeyIsAcknowledged)
{
    support::TempFolder world("botrun_world"), data("botrun_data");
    servertest::WriteServerTestWorld(world.Path());

    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(Bin + QStringLiteral("vxserver"),
                 {QStringLiteral("--game"), QString::fromStdString(world.Path()), QStringLiteral("--data"),
                  QString::fromStdString(data.Path()), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("--tcp-port"), QStringLiteral("0"), QStringLiteral("--udp-port"),
                  QStringLiteral("0"), QStringLiteral("--npcs"), QStringLiteral("4"),
                  // the bots all come from 127.0.0.1
                  QStringLiteral("--max-pending-per-address"), QStringLiteral("63"),
                  QStringLiteral("--max-connections-per-address"), QStringLiteral("63"),
                  QStringLiteral("--names-per-address"), QStringLiteral("100000"),
                  QStringLiteral("--new-accounts-per-minute"), QStringLiteral("1000")});
    ASSERT_TRUE(server.waitForStarted(10000));
    QString serverLog;
    QString port;
    for (int i = 0; i < 100 && port.isEmpty(); ++i) {
        server.waitForReadyRead(100);
        serverLog += QString::fromUtf8(server.readAll());
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("TCP port (\\d+)")).match(serverLog);
        if (m.hasMatch())
            port = m.captured(1);
    }
    ASSERT_FALSE(port.isEmpty()) << serverLog.toStdString();

    QProcess bots;
    bots.setProcessChannelMode(QProcess::MergedChannels);
    bots.start(Bin + QStringLiteral("vxbot"),
               {QStringLiteral("--server"), QStringLiteral("127.0.0.1"), QStringLiteral("--tcp-port"), port,
                QStringLiteral("--count"), QStringLiteral("10"), QStringLiteral("--duration"), QStringLiteral("4"),
                QStringLiteral("--identity"), QString::fromLatin1(servertest::Identity)});
    ASSERT_TRUE(bots.waitForStarted(10000));
    ASSERT_TRUE(bots.waitForFinished(60000));
    const QString report = QString::fromUtf8(bots.readAll());
    SCOPED_TRACE(report.toStdString());
    EXPECT_EQ(bots.exitCode(), 0);
    EXPECT_EQ(Figure(report, QStringLiteral("logins: (\\d+) succeeded")), 10);
    EXPECT_EQ(Figure(report, QStringLiteral("succeeded, (\\d+) failed")), 0);
    EXPECT_EQ(Figure(report, QStringLiteral("connections lost: (\\d+)")), 0);
    EXPECT_EQ(Figure(report, QStringLiteral("entered the game: (\\d+) of 10")), 10);
    const long long sent = Figure(report, QStringLiteral("keys sent: (\\d+)"));
    EXPECT_GT(sent, 10);
    EXPECT_EQ(Figure(report, QStringLiteral("acknowledged: (\\d+)")), sent);
    EXPECT_EQ(Figure(report, QStringLiteral("unacknowledged at the end: (\\d+)")), 0);
    EXPECT_GT(Figure(report, QStringLiteral("beat round trip ms: p50 \\d+ p99 \\d+ max \\d+ \\(n=(\\d+)\\)")), 10);

    // SIGTERM: the server saves and leaves cleanly.
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    serverLog += QString::fromUtf8(server.readAll());
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_TRUE(serverLog.contains(QStringLiteral("Stopping.\n"))) << serverLog.toStdString();
    EXPECT_TRUE(serverLog.contains(QStringLiteral("Server stopped; everything saved.\n")))
        << serverLog.toStdString();
    EXPECT_EQ(serverLog.count(QStringLiteral(" enters the game at ")), 10);
}

TEST(BotRun, ServerAndBotReportTheOneProgramVersion)
{
    for (const char* program : {"vxserver", "vxbot"}) {
        QProcess p;
        p.start(Bin + QString::fromLatin1(program), {QStringLiteral("--version")});
        ASSERT_TRUE(p.waitForFinished(10000)) << program;
        EXPECT_EQ(p.exitCode(), 0) << program;
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                  QString::fromLatin1(program) + QLatin1Char(' ') + QString::fromLatin1(platform::ProgramVersion));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
