// The default error handler: one catch around every event the application delivers.
#include "frontend/client_app.h"

#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>

std::string TVxApplication::LastError;

TVxApplication::TVxApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TVxApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("unknown error");
    }
    return false;
}

bool TVxApplication::Interactive()
{
    const char* quiet = std::getenv("VX_NO_MESSAGE_BOX");
    if (quiet && *quiet && std::string(quiet) != "0")
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

void TVxApplication::ShowException(const std::string& message)
{
    LastError = message;
    const std::string line = "vxclient: error: " + message + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    if (Interactive())
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromStdString(message));
}

void TVxApplication::ShowMessage(const QString& title, const std::string& message)
{
    const std::string line = "vxclient: " + message + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    if (Interactive())
        QMessageBox::warning(nullptr, title, QString::fromStdString(message));
}
