// The game server's life: made from its options and world, started on its ports,
// asked for its figures, shut down with everything saved.
#include <QDir>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <tuple>

#include "data/initial_state.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "game_server.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/socket_adapter.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"

namespace server {
namespace {

void Log(const std::string& line) { platform::ConsoleLine(line); }

}  // namespace

bool SendableText(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() <= 0xFF && Printable(static_cast<unsigned char>(c.unicode()));
    });
}

TGameServer::TGameServer(TServerOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      addressBook_(size_t(std::max(1, options_.RememberedAddresses))),
      rng_(std::random_device{}()),
      // One core is left to the event loop when there are two or more.
      passwordWork_(std::clamp(QThread::idealThreadCount() - 1, 1, 4))
{
    identity_ = ReadArchivedIdentity(options_.GameFolder);
    LoadWalls(options_.GameFolder);
    for (int shape = kFirstObjectShape; shape < VxShapes->ShapeCount; ++shape)
        if (VxShapes->IsCharacterShape(shape))
            characterShapes_.push_back(uint16_t(shape));
    if (options_.Database.isEmpty())
        QDir().mkpath(options_.DataFolder);
    accounts_ = std::make_unique<TAccountStore>(options_.Database.isEmpty() ? DatabasePath() : options_.Database,
                                                QStringLiteral("vxserver-%1").arg(quintptr(this)));
    scratch_.reserve(256);
    collector_ = new QTimer(this);
    collector_->setInterval(5);
    connect(collector_, &QTimer::timeout, this, &TGameServer::CollectWork);
    Log("World identity: " + identity_);
    Log("Database: " + accounts_->Location().toStdString());
}

TGameServer::~TGameServer()
{
    Shutdown();
}

QString TGameServer::DatabasePath() const
{
    return QDir(options_.DataFolder).filePath(QStringLiteral("vxserver.db"));
}

bool TGameServer::Start()
{
    listener_ = new QTcpServer(this);
    // A game server has no use for the system's HTTP proxy.
    listener_->setProxy(QNetworkProxy::NoProxy);
    connect(listener_, &QTcpServer::newConnection, this, &TGameServer::OnNewConnection);
    if (!listener_->listen(options_.Bind, options_.TcpPort)) {
        Log("Cannot listen on TCP port " + std::to_string(options_.TcpPort) + ": " +
            listener_->errorString().toStdString());
        return false;
    }
    // No other live server has this name (it holds this port): marks left under it
    // by an earlier run that died are stale.
    serverName_ = QSysInfo::machineHostName() + QLatin1Char('/') + QString::fromStdString(net::AddressText(options_.Bind)) +
                  QLatin1Char(':') + QString::number(TcpPort());
    try {
        accounts_->ReleaseLogins(serverName_);
    } catch (const std::exception& e) {
        Log(std::string("Account store: ") + e.what());
        listener_->close();
        return false;
    }
    SpawnNpcs();
    ticker_ = new QTimer(this);
    connect(ticker_, &QTimer::timeout, this, &TGameServer::Tick);
    ticker_->start(50);
    lastSave_ = lastRenewal_ = platform::TickCount();
    const std::string udp = options_.UdpPort == 0 ? std::string("any free ports")
                                                  : "ports " + std::to_string(options_.UdpPort) + "-" +
                                                        std::to_string(options_.UdpPort + options_.UdpPorts - 1);
    Log("Listening on " + net::AddressText(options_.Bind) + " TCP port " + std::to_string(TcpPort()) + ", UDP " + udp +
        ", " + std::to_string(options_.Npcs) + " characters");
    return true;
}

uint16_t TGameServer::TcpPort() const { return listener_ ? listener_->serverPort() : 0; }

int TGameServer::Connections() const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s != nullptr;
    return n;
}

int TGameServer::PlayersInGame() const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s && s->Stage == EStage::InGame;
    return n;
}

int TGameServer::PasswordChecksWaiting() const
{
    int n = 0;
    for (const auto& s : sessions_)
        n += s && s->Password == EPassword::Waiting;
    return n;
}

const TActor* TGameServer::FindPlayer(const QString& name) const
{
    for (const auto& s : sessions_)
        if (s && s->Actor && SameName(s->Name, name))
            return s->Actor;
    return nullptr;
}

void TGameServer::Shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    if (ticker_)
        ticker_->stop();
    if (collector_)
        collector_->stop();
    // Checks not started yet are dropped; running ones finish and are not answered.
    passwordWork_.Stop();
    for (auto& s : sessions_)
        if (s && s->Actor)
            s->Actor->Dirty = true;
    try {
        SaveDirty(true);
        if (!serverName_.isEmpty())
            accounts_->ReleaseLogins(serverName_);
        accounts_->Checkpoint();
    } catch (const std::exception& e) {
        Log(std::string("Saving at shutdown failed: ") + e.what());
    }
    for (auto& s : sessions_)
        if (s)
            EndSession(*s);
    if (!listener_ || !listener_->isListening())
        return;  // never started: nothing was loaded, nothing to report
    listener_->close();
    Log("Server stopped; everything saved.");
}

}  // namespace server
