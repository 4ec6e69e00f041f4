// The self-pipe behind TStopSignals.
#include "stop_signals.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#else
#include <QTimer>
#endif

namespace server {
namespace {

constexpr int Signals[] = {
    SIGINT,
    SIGTERM,
#ifdef Q_OS_UNIX
    SIGHUP,  // the terminal that started the server went away: save, like a stop
#endif
};

#ifdef Q_OS_UNIX
// Read and written from the handler, so plain lock-free words only.
std::atomic<int> pipeRead{-1}, pipeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous[std::size(Signals)];

void OnSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = write(pipeWrite.load(), &byte, 1);
    errno = savedErrno;
}
#else
std::atomic<int> pending{0};
void OnSignal(int signalNumber) { pending = signalNumber; }
#endif

}  // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("cannot make the signal pipe");
    for (const int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    pipeRead = fds[0];
    pipeWrite = fds[1];
    notifier_ = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TStopSignals::Drain);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &action, &previous[i]);
#else
    for (const int s : Signals)
        std::signal(s, OnSignal);
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &TStopSignals::Drain);
    poll->start(100);
#endif
}

TStopSignals::~TStopSignals()
{
#ifdef Q_OS_UNIX
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &previous[i], nullptr);
    delete notifier_;
    close(pipeRead.exchange(-1));
    close(pipeWrite.exchange(-1));
#else
    for (const int s : Signals)
        std::signal(s, SIG_DFL);
#endif
}

void TStopSignals::Drain()
{
#ifdef Q_OS_UNIX
    unsigned char bytes[16];
    ssize_t n;
    while ((n = read(pipeRead.load(), bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit StopRequested(bytes[i]);
#else
    if (const int s = pending.exchange(0))
        emit StopRequested(s);
#endif
}

}  // namespace server
