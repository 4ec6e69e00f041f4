// vxserver: the reference game server, headless, one console line per event.
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <exception>
#include <utility>

#include "game_server.h"
#include "server_options.h"
#include "platform/console.h"
#include "platform/version.h"
#include "stop_signals.h"

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

    const server::TParsedServerOptions parsed = server::ParseServerOptions(app.arguments());
    if (!parsed.Error.isEmpty()) {
        platform::ConsoleLine(parsed.Error.toStdString());
        return parsed.ExitCode;
    }
    if (parsed.Help || parsed.Version) {
        std::fputs(parsed.Text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    const server::TServerOptions& options = parsed.Options;

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
