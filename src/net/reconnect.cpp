// The auto-reconnect schedule and its log lines.
#include "net/reconnect.h"

#include <algorithm>
#include <string>
#include <utility>

namespace net {

void TReconnect::SetAuto(bool on, uint32_t now)
{
    if (on == auto_)
        return;
    auto_ = on;
    if (!on) {
        if (waiting_)
            Log("Auto reconnect: off; try " + std::to_string(try_) + " dropped.");
        waiting_ = false;
        if (!running_)
            try_ = 0;
        return;
    }
    if (closed_ && !stopped_ && !waiting_)
        Schedule(now);
}

void TReconnect::Schedule(uint32_t now)
{
    ++try_;
    waiting_ = true;
    dueAt_ = now + delay_;
    Log("Auto reconnect: try " + std::to_string(try_) + " in " + std::to_string(delay_ / 1000) + " s.");
    delay_ = std::min(delay_ * 2, MaxDelay);
}

void TReconnect::Ended(bool refused, uint32_t now)
{
    // The socket may report one end twice (an error, then the disconnect).
    if (closed_ && !running_)
        return;
    const bool wasRunning = std::exchange(running_, false);
    closed_ = true;
    if (wasRunning)
        Log("Auto reconnect: try " + std::to_string(try_) + (refused ? " refused." : " failed."));
    if (std::exchange(aborted_, false)) {
        try_ = 0;
        return;
    }
    if (refused) {
        stopped_ = true;
        if (auto_)
            Log("Auto reconnect stopped: the server refused the login.");
        try_ = 0;
        return;
    }
    if (!auto_) {
        try_ = 0;
        return;
    }
    if (!wasRunning)
        try_ = 0;  // a connection that had been made: the count starts afresh
    Schedule(now);
}

void TReconnect::Entered()
{
    if (running_)
        Log("Auto reconnect: try " + std::to_string(try_) + " succeeded.");
    running_ = false;
    closed_ = false;
    waiting_ = false;
    stopped_ = false;
    try_ = 0;
    delay_ = FirstDelay;
}

void TReconnect::Cancel()
{
    running_ = false;
    closed_ = false;
    waiting_ = false;
    stopped_ = false;
    aborted_ = false;
    try_ = 0;
    delay_ = FirstDelay;
}

bool TReconnect::Due(uint32_t now)
{
    // Compared as a signed difference, so a wrap of the tick count changes nothing.
    if (!waiting_ || int32_t(now - dueAt_) < 0)
        return false;
    waiting_ = false;
    running_ = true;
    closed_ = false;
    Log("Auto reconnect: try " + std::to_string(try_) + ".");
    return true;
}

}  // namespace net
