// Game folders and configuration homes for the front end's tests.
#pragma once

#include <string>
#include <vector>

#include "formats/flex_writer.h"
#include "support/temp_folder.h"

namespace frontend_test {

// One INITGAME.DAT entry: a 13-byte name field and the file's content.
formats::Bytes InitGameEntry(const std::string& nameField, const std::string& content);

// Writes a game folder the client can start with: the static files and an
// INITGAME.DAT holding IDENTITY (with `identity` as its first line) and one
// more world file.
void WriteTestGame(const std::string& folder, const std::string& identity = "VX-SAMPLE-1");

// Points XDG_CONFIG_HOME at a fresh folder for the test's lifetime.
class ConfigHome {
public:
    ConfigHome();
    ~ConfigHome();
    std::string HiveFile() const;
    std::string Text() const;  // the hive file as written

private:
    support::TempFolder folder_{"config"};
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace frontend_test
