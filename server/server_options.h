// vxserver's command line: vxserver --game DIR [options].
#pragma once

#include <QString>
#include <QStringList>

#include "game_server.h"

namespace server {

struct TParsedServerOptions {
    TServerOptions Options;
    bool Help = false;     // --help: print Text and end
    bool Version = false;  // --version: print Text and end
    QString Text;          // the help or version text
    // Set when the command line cannot be used: the console line that says why, and
    // the exit code (1 for an unknown option or a missing value, 2 for a bad value).
    QString Error;
    int ExitCode = 0;
};

// Parses a whole command line, the program name first. The default data folder is
// the user's data folder for the application's name.
TParsedServerOptions ParseServerOptions(const QStringList& arguments);

}  // namespace server
