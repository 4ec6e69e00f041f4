// A fixture base for server test suites: the small test world is written once before
// the suite's first test and removed after its last.
#pragma once

#include <gtest/gtest.h>

#include "game_server.h"
#include "support/temp_folder.h"
#include "test_world.h"

namespace servertest {

class WorldSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        world = new support::TempFolder("server_world");
        WriteServerTestWorld(world->Path());
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
    }

    // A server of the test world on 127.0.0.1 with free ports, no characters of its own
    // and cheap password hashing, keeping its accounts in `dataFolder`.
    static server::TServerOptions LoopbackOptions(const std::string& dataFolder)
    {
        server::TServerOptions options;
        options.GameFolder = world->Path();
        options.DataFolder = QString::fromStdString(dataFolder);
        options.Bind = QHostAddress::LocalHost;
        options.TcpPort = 0;
        options.UdpPort = 0;
        options.Npcs = 0;
        options.PasswordCost = server::CheapPasswordCost;
        options.MaxConnectionsPerAddress = 63;  // every test client comes from loopback
        options.NamesPerAddress = 100000;
        return options;
    }

    static inline support::TempFolder* world = nullptr;
};

}  // namespace servertest
