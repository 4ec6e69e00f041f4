// vxserver: the reference game server, headless, one console line per event.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStandardPaths>

#include <csignal>
#include <exception>
#include <utility>

#include "game_server.h"
#include "platform/console.h"
#include "platform/game_path.h"
#include "platform/version.h"
#include "stop_signals.h"

namespace {

bool ParsePort(const QString& text, uint16_t& port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vxserver"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(platform::ProgramVersion));
#ifdef SIGPIPE
    // A console reader that went away must not end the server before it has saved.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // From here on a stop signal waits for the event loop instead of ending the process.
    server::TStopSignals stopSignals;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The reference game server."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption game(QStringLiteral("game"), QStringLiteral("The game folder of the world to run."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption tcp(QStringLiteral("tcp-port"), QStringLiteral("TCP port (default 12578)."),
                                 QStringLiteral("N"), QStringLiteral("12578"));
    const QCommandLineOption udp(QStringLiteral("udp-port"),
                                 QStringLiteral("UDP port of the first connection; connection n uses N + n - 1 "
                                                "(default 12577; 0 = any free ports)."),
                                 QStringLiteral("N"), QStringLiteral("12577"));
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("Folder of the database vxserver.db (default: the user's data "
                                                 "folder, e.g. ~/.local/share/vxserver)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption npcs(QStringLiteral("npcs"), QStringLiteral("Server characters (default 12)."),
                                  QStringLiteral("N"), QStringLiteral("12"));
    const QCommandLineOption welcome(QStringLiteral("welcome"), QStringLiteral("The welcome text."),
                                     QStringLiteral("TEXT"));
    const QCommandLineOption bind(QStringLiteral("bind"),
                                  QStringLiteral("IPv4 address to listen on (default 0.0.0.0)."),
                                  QStringLiteral("ADDR"), QStringLiteral("0.0.0.0"));
    parser.addOptions({game, tcp, udp, data, npcs, welcome, bind});
    parser.process(app);

    server::TServerOptions options;
    if (!parser.isSet(game)) {
        platform::ConsoleLine("vxserver: --game DIR is required");
        return 2;
    }
    options.GameFolder = platform::WithTrailingSeparator(parser.value(game).toStdString());
    bool ok = ParsePort(parser.value(tcp), options.TcpPort) && ParsePort(parser.value(udp), options.UdpPort);
    bool npcsOk = false;
    options.Npcs = parser.value(npcs).toInt(&npcsOk);
    if (!ok || !npcsOk || options.Npcs < 0 || options.Npcs > 1000) {
        platform::ConsoleLine("vxserver: ports are 0 to 65535 and --npcs 0 to 1000");
        return 2;
    }
    options.Bind = QHostAddress(parser.value(bind));
    if (options.Bind.protocol() != QAbstractSocket::IPv4Protocol) {
        platform::ConsoleLine("vxserver: --bind takes an IPv4 address");
        return 2;
    }
    options.DataFolder = parser.isSet(data)
                             ? parser.value(data)
                             : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (parser.isSet(welcome))
        options.Welcome = parser.value(welcome);

    std::unique_ptr<server::TGameServer> gameServer;
    try {
        gameServer = std::make_unique<server::TGameServer>(options);
    } catch (const std::exception& e) {
        platform::ConsoleLine(std::string("vxserver: ") + e.what());
        return 1;
    }
    if (!gameServer->Start())
        return 1;

    bool stopping = false;
    QObject::connect(&stopSignals, &server::TStopSignals::StopRequested, &app, [&](int) {
        if (std::exchange(stopping, true))
            return;
        platform::ConsoleLine("Stopping.");
        gameServer->Shutdown();
        app.quit();
    });
    const int rc = app.exec();
    gameServer.reset();
    return rc;
}
