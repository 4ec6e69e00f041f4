// SIGINT, SIGTERM and SIGHUP as a Qt signal on the event loop's thread.
//
// The handler itself only writes the signal's number into a pipe (write() is one of
// the few calls a handler may make); a socket notifier on the pipe's other end turns
// that byte into StopRequested on the event loop, where saving and printing are safe.
// A signal that arrives before the event loop runs waits in the pipe.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace server {

class TStopSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance at a time. Raises std::runtime_error when
    // the pipe cannot be made.
    explicit TStopSignals(QObject* parent = nullptr);
    // Puts the earlier handlers back.
    ~TStopSignals() override;
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

signals:
    // Once per signal received, with its number.
    void StopRequested(int signalNumber);

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace server
