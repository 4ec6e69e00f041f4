// The client's application object and its default error handler.
#pragma once

#include <QApplication>
#include <string>

// An exception that ends a step (file, configuration, conversion errors) is
// caught here at the event loop: its message goes to standard error and, when
// the run is interactive, into a message box. The step ends there.
class TVxApplication : public QApplication {
    Q_OBJECT
public:
    TVxApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an exception's message the way the default handler does.
    static void ShowException(const std::string& message);
    // Shows a notice (not an error) the same way.
    static void ShowMessage(const QString& title, const std::string& message);

    // False on the offscreen and minimal platforms and when VX_NO_MESSAGE_BOX is
    // set: then messages go to standard error only and never block.
    static bool Interactive();

    // The message of the last exception the handler caught (tests read it).
    static std::string LastError;
};
