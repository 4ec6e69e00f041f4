// World installation without windows: checking a game folder, unpacking
// STATIC\INITGAME.DAT into the world data folder, reading the identity line and
// recording the world in the configuration store.
// The archive's entry layout is in data/initial_state.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "data/initial_state.h"

class TVxaConfig;

// The one work buffer of an extraction: no entry may be larger.
constexpr int kExtractBufferSize = 1000014;

// Where the extraction reports its progress: the three status lines (1-3) and
// a chance for the window to repaint.
struct ExtractionStatus {
    std::function<void(int line, const std::string& text)> SetLine;
    std::function<void()> Repaint;
};

// The files the client reads from a game folder before the login window.
const std::vector<std::string>& RequiredGameFiles();

// Empty when `gameFolder` (ending in a separator) holds every required file;
// otherwise a message naming the first missing file and the folder.
std::string MissingGameFileMessage(const std::string& gameFolder);

// Empty when `name` may be written inside the output folder; otherwise why not.
// Refused: empty, "." or ".." themselves, and names holding a path separator, a
// drive colon or a control character. Dots inside a name ("A..B") are allowed.
std::string RefusedNameReason(const std::string& name);

// Unpacks gameFolder + "STATIC\INITGAME.DAT" into outputFolder (ending in a
// separator), entry by entry, overwriting files of the same names. Raises
// EInOutError for a missing or damaged archive, an entry that is too large, too
// short or badly named, and a file that cannot be written; files written
// before the failure remain.
void ExtractInitGame(const std::string& gameFolder, const std::string& outputFolder, const ExtractionStatus& status);

// The first line of the world data folder's IDENTITY file.
std::string ReadIdentityLine(const std::string& worldDataFolder);

struct InstalledWorld {
    bool Cancelled = false;
    std::string GameFolder;       // ends in the native separator
    std::string WorldDataFolder;  // GameFolder + "CLIDAT" + separator
    std::string Identity;
};

// Installs the world of an already chosen game folder (ending in a separator):
// creates CLIDAT (failure ignored), runs `extract` from the game folder into it,
// reads the identity line and appends the three values to lists 3, 11 and 12.
InstalledWorld InstallWorldFrom(const std::string& gameFolder, TVxaConfig& config,
                                const std::function<void(const std::string& gameFolder,
                                                         const std::string& outputFolder)>& extract);
