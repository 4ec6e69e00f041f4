// The start-up step without windows: the current world,
// the last login choices and the loading of the static data.
#pragma once

#include <stdexcept>
#include <string>

#include "frontend/process_objects.h"
#include "frontend/world_install.h"

// A text that should have been a decimal integer.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The current world. GameFolder is "**" until the start-up step has run.
extern std::string GameFolder;
extern std::string WorldDataFolder;
extern std::string WorldIdentity;

// Resets the current world and frees the process-wide objects (tests, shutdown).
void ResetStartupState();

// Strict decimal conversion: raises EConvertError naming the text.
int StrToInt(const std::string& text);

// What the step needs from the windows around it.
class StartupHost {
public:
    virtual ~StartupHost() = default;
    // Installs the first world (picker or the command line's folder).
    virtual InstalledWorld InstallWorld(TVxaConfig& config) = 0;
    virtual void TickFullScreenBox() = 0;
    virtual void SetServerAddress(const std::string& address) = 0;
    // Sets the progress bar and its caption, then lets the window repaint.
    virtual void SetProgress(int position, const std::string& caption) = 0;
    // Shows the login window and hides the start-up window.
    virtual void ShowLoginWindow() = 0;
    // Tells the application to end.
    virtual void Terminate() = 0;
};

// The progress shown after static loading sub-step `step` (1-8 as reported by
// the data loader); false for sub-steps that change nothing on screen.
bool StaticDataProgress(int step, int& position, std::string& caption);

// Loads the static data from GameFolder, reporting progress to the host.
void LoadStaticData(StartupHost& host);

// The start-up step after its timer has been disabled: objects, world, login
// choices, static data, fonts, gumps and pointers, login window. Errors are
// not caught: they end the step where they occur.
void RunStartupStep(StartupHost& host);
