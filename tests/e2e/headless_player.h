// A second player for the end-to-end tests: a client session over its own sockets,
// with no windows, logging in as NAME with the password NAME-pw.
#pragma once

#include <QTimer>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/client_session.h"
#include "net/game_timer.h"
#include "net/npc_list.h"
#include "net/protocol.h"
#include "net/socket_adapter.h"

// A second player: a client session over its own sockets, with no windows.
class HeadlessPlayer : public net::TSessionSockets {
public:
    explicit HeadlessPlayer(const std::string& name)
        : session(*this, actors, timer, speech, sockets, Sockets.Endpoint())
    {
        net::TLoginChoices login;
        login.CharacterName = name;
        login.CharacterPassword = name + "-pw";
        login.WorldIdentity = "EMBER VALE";
        login.LocalUDPPort = "0";
        session.SetLogin(login);
        Attach(&session);
        retransmit.setInterval(50);
        QObject::connect(&retransmit, &QTimer::timeout, [this] { session.RetransmitTimerTimer(); });
    }

    void Connect(int port) { Sockets.Connect(QStringLiteral("127.0.0.1"), uint16_t(port)); }

    // The record of another actor, read under the list's lock.
    bool Actor(int32_t id, net::TNPCRecord& out)
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        const net::TNPCNode* node = actors.FindEntry(id);
        if (!node || node == actors.Head())
            return false;
        out = *node;
        return true;
    }

    void AddLogLine(std::string_view line) override { log.emplace_back(line); }
    void LoadWorldData() override {}
    void StartRetransmitTimer() override { retransmit.start(); }
    void EnterGame() override { entered = true; }
    void ConnectionClosed() override { closed = true; }
    void ConnectionRefused() override { closed = true; }

    QTimer retransmit;
    net::TNPCList actors;
    net::TGameTimer timer;
    net::TSpeechHistory speech;
    net::TSocketTable sockets;
    net::TClientSession session;
    std::vector<std::string> log;
    bool entered = false, closed = false;
};
