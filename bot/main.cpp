// vxbot: N headless clients against a server, with figures at the end.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bot.h"
#include "platform/console.h"
#include "platform/version.h"

namespace {

std::string Percentiles(std::vector<uint32_t> values)
{
    if (values.empty())
        return "none";
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[std::min(values.size() - 1, size_t(q * double(values.size())))]; };
    return "p50 " + std::to_string(at(0.50)) + " p99 " + std::to_string(at(0.99)) + " max " +
           std::to_string(values.back()) + " (n=" + std::to_string(values.size()) + ")";
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vxbot"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(platform::ProgramVersion));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Headless clients that log in, walk and chat."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("Server address (default 127.0.0.1)."),
                                    QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption tcp(QStringLiteral("tcp-port"), QStringLiteral("Server TCP port (default 12578)."),
                                 QStringLiteral("N"), QString::number(net::DefaultServerTcpPort));
    const QCommandLineOption udp(QStringLiteral("udp-port"),
                                 QStringLiteral("Accepted for the client's command line; the server announces "
                                                "each connection's UDP port."),
                                 QStringLiteral("N"), QString::number(net::DefaultServerUdpPort));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Number of bots (default 10)."),
                                   QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Seconds to run (default 10)."),
                                      QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption identity(QStringLiteral("identity"),
                                      QStringLiteral("World identity to present (default: the server's)."),
                                      QStringLiteral("TEXT"));
    parser.addOptions({server, tcp, udp, count, duration, seed, identity});
    parser.process(app);

    bool ok[5] = {};
    bot::TBotOptions options;
    options.Server = parser.value(server);
    const uint tcpPort = parser.value(tcp).toUInt(&ok[0]);
    parser.value(udp).toUInt(&ok[1]);
    const int bots = parser.value(count).toInt(&ok[2]);
    const double seconds = parser.value(duration).toDouble(&ok[3]);
    options.Seed = parser.value(seed).toUInt(&ok[4]);
    options.Identity = parser.value(identity);
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }) || tcpPort > 65535 || bots < 1 ||
        bots > 1000 || seconds <= 0) {
        platform::ConsoleLine("vxbot: bad option value (see --help)");
        return 2;
    }
    options.TcpPort = uint16_t(tcpPort);

    bot::TBotStats stats;
    std::vector<std::unique_ptr<bot::TBot>> all;
    for (int i = 1; i <= bots; ++i) {
        all.push_back(std::make_unique<bot::TBot>(i, options, stats));
        // A little apart, as players arrive.
        QTimer::singleShot(10 * (i - 1), all.back().get(), &bot::TBot::Connect);
    }
    const int runMs = int(seconds * 1000);
    // The last second: keys are released and their acknowledgements awaited.
    QTimer::singleShot(std::max(0, runMs - 1000), &app, [&] {
        for (auto& b : all)
            b->Calm();
    });
    QTimer::singleShot(runMs, &app, [&] {
        for (auto& b : all)
            b->Finish();
        QTimer::singleShot(200, &app, &QCoreApplication::quit);
    });
    app.exec();

    int notEntered = 0, unacknowledged = 0;
    for (auto& b : all) {
        notEntered += !b->Entered();
        unacknowledged += b->Unacknowledged();
    }
    const int neverAnswered = bots - stats.LoginsSucceeded - stats.LoginsFailed;
    std::printf("vxbot: %d bots for %.1f s against %s:%u\n", bots, seconds, options.Server.toUtf8().constData(),
                tcpPort);
    std::printf("logins: %d succeeded, %d failed%s\n", stats.LoginsSucceeded, stats.LoginsFailed + neverAnswered,
                neverAnswered ? " (some never got an answer)" : "");
    std::printf("entered the game: %d of %d; connections lost: %d\n", bots - notEntered, bots,
                stats.ConnectionsLost);
    std::printf("beat round trip ms: %s\n", Percentiles(stats.BeatRoundTrips).c_str());
    std::printf("key acknowledgement ms: %s\n", Percentiles(stats.KeyAckLatencies).c_str());
    std::printf("keys sent: %llu, acknowledged: %llu, unacknowledged at the end: %d\n",
                (unsigned long long)stats.KeysSent, (unsigned long long)stats.KeysAcknowledged, unacknowledged);
    std::printf("retransmissions: %llu\n", (unsigned long long)stats.Retransmissions);
    std::printf("chat lines: %llu\n", (unsigned long long)stats.ChatLines);
    std::printf("messages sent: %llu (TCP %llu, UDP %llu), received: %llu (TCP %llu, UDP %llu)\n",
                (unsigned long long)(stats.TcpSent + stats.UdpSent), (unsigned long long)stats.TcpSent,
                (unsigned long long)stats.UdpSent, (unsigned long long)(stats.TcpReceived + stats.UdpReceived),
                (unsigned long long)stats.TcpReceived, (unsigned long long)stats.UdpReceived);
    for (const std::string& failure : stats.Failures)
        std::printf("failure: %s\n", failure.c_str());
    std::fflush(stdout);
    const bool good = stats.LoginsSucceeded == bots && stats.ConnectionsLost == 0 && notEntered == 0 &&
                      stats.Failures.empty();
    return good ? 0 : 1;
}
