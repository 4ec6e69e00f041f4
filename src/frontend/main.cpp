// vxclient: the client's entry. Creates the nine windows, shows the start-up
// window and runs the message loop until the application ends.
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/client_app.h"
#include "frontend/client_options.h"
#include "frontend/client_windows.h"
#include "frontend/init_window.h"
#include "window/connections.h"
#include "platform/file_names.h"

int main(int argc, char** argv)
{
    // Qt gets main()'s own arguments: on Windows it reads them again from the wide
    // command line only while they are the ones the program was started with.
    int qtArgc = argc;
    char** qtArgv = argv;
    platform::Utf8Arguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Argv();
    const ParsedCommandLine parsed = ParseClientOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.Error.empty()) {
        std::fprintf(stderr, "vxclient: %s\nTry \"vxclient --help\".\n", parsed.Error.c_str());
        return 2;
    }
    if (parsed.Options.Help) {
        std::fputs(ClientUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.Options.Version) {
        std::printf("%s\n", ClientVersion().c_str());
        return 0;
    }
    CommandLine = parsed.Options;
    TConnections::EchoToStdout = CommandLine.LogToStdout;

    TVxApplication app(qtArgc, qtArgv);
    app.setApplicationName("vxclient");
    CreateClientWindows();
    Init1->show();
    const int result = app.exec();
    DestroyClientWindows();
    return result;
}
