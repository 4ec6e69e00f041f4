// A fixture base for server test suites: the small test world is written once before
// the suite's first test and removed after its last.
#pragma once

#include <gtest/gtest.h>

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

    static inline support::TempFolder* world = nullptr;
};

}  // namespace servertest
