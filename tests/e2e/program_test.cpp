// The client program against the vxserver program on 127.0.0.1: started as a player
// starts them, the client logs in and enters the game with its log on standard output,
// and its chat log keeps what it wrote when it is killed.
//
// These tests start processes; the tests of the client's windows in one process with
// an in-process server are in play_test, which starts none, so that it can run under
// ThreadSanitizer (which cannot follow a process that forks while it has threads).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <functional>
#include <string>

#include "headless_player.h"
#include "support/event_wait.h"
#include "support/temp_folder.h"
#include "test_game.h"
#include "world_generator.h"

namespace {

const QString Bin = QStringLiteral(VX_BINARY_DIR "/bin/");

bool WaitFor(const std::function<bool()>& done, int ms = 15000)
{
    return support::WaitFor(done, ms);
}

// Every chat log file in `folder`, read in name order.
QString ChatLogText(const QString& folder)
{
    QString text;
    QDir dir(folder);
    for (const QString& name : dir.entryList({"*.txt"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(f.readAll());
    }
    return text;
}

// vxserver on 127.0.0.1: free ports at first, the same TCP port when started again.
class Server {
public:
    Server(const std::string& game, const std::string& data) : game_(game), data_(data) {}
    ~Server() { Stop(); }

    bool Start(int tcpPort = 0)
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(Bin + "vxserver", {"--game", QString::fromStdString(game_), "--data", QString::fromStdString(data_),
                                          "--bind", "127.0.0.1", "--tcp-port", QString::number(tcpPort),
                                          "--udp-port", "0", "--npcs", "0"});
        if (!process_.waitForStarted(10000))
            return false;
        for (int i = 0; i < 300; ++i) {
            process_.waitForReadyRead(100);
            log_ += QString::fromUtf8(process_.readAll());
            const auto m = QRegularExpression("TCP port (\\d+)").match(log_);
            if (m.hasMatch()) {
                port_ = m.captured(1).toInt();
                return true;
            }
        }
        return false;
    }
    void Kill()
    {
        process_.kill();
        process_.waitForFinished(10000);
    }
    void Stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(10000);
        }
    }
    QString Log()
    {
        log_ += QString::fromUtf8(process_.readAll());
        return log_;
    }
    int Port() const { return port_; }

private:
    std::string game_, data_;
    QProcess process_;
    QString log_;
    int port_ = 0;
};

class ClientProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "program_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        world = new support::TempFolder("program_world");
        worldgen::GenerateWorld(world->Path(), 1);
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
    }

    static support::TempFolder* world;
    support::TempFolder data{"program_data"};
    frontend_test::ConfigHome home;
};

support::TempFolder* ClientProgram::world = nullptr;

TEST_F(ClientProgram, ConnectsAndEntersTheGame)
{
    Server server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start());
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(Bin + "vxclient", {"--install-world", QString::fromStdString(world->Path()), "--server", "127.0.0.1",
                                    "--tcp-port", QString::number(server.Port()), "--local-udp-port", "0",
                                    "--name", "Wren", "--password", "Wren-pw", "--connect", "--log-to-stdout"});
    ASSERT_TRUE(client.waitForStarted(10000));
    QString out;
    const bool entered = WaitFor([&] {
        out += QString::fromUtf8(client.readAll());
        return out.contains("OK, Entering game.\n");
    }, 60000);
    const bool serverSawIt = WaitFor([&] { return server.Log().contains("Wren enters the game"); });
    client.kill();
    client.waitForFinished(10000);
    ASSERT_TRUE(entered) << out.toStdString();
    // The handshake's log lines, each once and in order, on standard output.
    QStringList expected = {"Initiating TCP connection to 127.0.0.1", "TCP Connection accepted.",
                            "Protocol compatable.", "IDENTITY matches.", "Name OK, sending password..",
                            "Loading game data.", "Awaiting server_beat.", "Synchronizing...", "OK, Entering game."};
    qsizetype at = 0;
    for (const QString& line : expected) {
        const qsizetype found = out.indexOf(line + "\n", at);
        EXPECT_GE(found, at) << line.toStdString();
        at = found < 0 ? at : found;
    }
    EXPECT_TRUE(serverSawIt) << server.Log().toStdString();
}

TEST_F(ClientProgram, TheChatLogKeepsWhatItWroteWhenTheClientIsKilled)
{
    Server server(world->Path(), data.Path());
    ASSERT_TRUE(server.Start());
    support::TempFolder dataHome("program_data_home");  // the client's chat log goes here
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", QString::fromStdString(dataHome.Path()));
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(Bin + "vxclient", {"--install-world", QString::fromStdString(world->Path()), "--server", "127.0.0.1",
                                    "--tcp-port", QString::number(server.Port()), "--local-udp-port", "0",
                                    "--name", "Wren", "--password", "Wren-pw", "--connect", "--log-to-stdout"});
    ASSERT_TRUE(client.waitForStarted(10000));
    QString out;
    ASSERT_TRUE(WaitFor([&] {
        out += QString::fromUtf8(client.readAll());
        return out.contains("OK, Entering game.\n");
    }, 60000)) << out.toStdString();

    HeadlessPlayer tamsin("Tamsin");
    tamsin.Connect(server.Port());
    ASSERT_TRUE(WaitFor([&] { return tamsin.entered; }));
    // Wren is in Tamsin's view, so Tamsin is in Wren's: her lines reach Wren's client.
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> hold(tamsin.actors.Lock());
        return tamsin.actors.Count() > 1;
    }));
    WaitFor([] { return false; }, 300);
    tamsin.session.SendChat("first line");
    tamsin.session.SendChat("second line");
    const QString folder = QString::fromStdString(dataHome.Path()) + "vxclient/chat/EMBER VALE";
    ASSERT_TRUE(WaitFor([&] { return ChatLogText(folder).contains("second line"); }))
        << ChatLogText(folder).toStdString() << out.toStdString();

    client.kill();  // SIGKILL: no clean-up of any kind
    client.waitForFinished(10000);
    const QStringList lines = ChatLogText(folder).split('\n');
    ASSERT_EQ(lines.size(), 3) << ChatLogText(folder).toStdString();
    EXPECT_TRUE(lines[0].endsWith("> first line"));
    EXPECT_TRUE(lines[1].endsWith("> second line"));
    EXPECT_EQ(lines[2], "");
}

}  // namespace
