// Getting back in after a lost connection: the "Auto reconnect" schedule. After a
// connection or an attempt ends, the next try waits 1 s, then 2, 4, ... at most 30 s;
// entering the game starts the count afresh, and a refusal by the server (a name,
// password, world or protocol that will not do, or a full server) stops the retries
// until the player connects again by hand. Every step is a line in the connection log.
// Plain logic on the tick count: the connection window polls Due() from a timer and
// runs the login window's Connect when a try is due; tests drive it on the fake clock.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace net {

class TReconnect {
public:
    static constexpr uint32_t FirstDelay = 1000;  // ms before the first try
    static constexpr uint32_t MaxDelay = 30000;   // the delay doubles up to this

    void SetLog(std::function<void(std::string_view line)> log) { log_ = std::move(log); }

    // The "Auto reconnect" tick box. Ticked while the connection is closed (and no
    // refusal stopped the retries), the next try is scheduled at once; unticked, a
    // waiting try is dropped.
    void SetAuto(bool on, uint32_t now);
    bool Auto() const { return auto_; }

    // A connection or an attempt to make one has ended. `refused`: the server refused
    // the login, so no try follows. Otherwise, with the box ticked, the next try is
    // scheduled.
    void Ended(bool refused, uint32_t now);
    // The game was entered: a running try succeeded, and the next loss starts at 1 s.
    void Entered();
    // The player took over (Reconnect, Connect, "<< Login Screen"): nothing waits, the
    // count starts afresh and a refusal no longer holds.
    void Cancel();
    // The player closed the connection (Abort): its end schedules no try.
    void Aborted() { aborted_ = true; }

    // Whether a try is due at `now`; when it is, it counts as running and its line is
    // logged. The caller then connects.
    bool Due(uint32_t now);

    bool Waiting() const { return waiting_; }
    // The try that runs or waits (1 for the first after a loss); 0 when none.
    int Try() const { return try_; }
    // The delay the next scheduled try will wait.
    uint32_t NextDelay() const { return delay_; }

private:
    void Schedule(uint32_t now);
    void Log(std::string_view line)
    {
        if (log_)
            log_(line);
    }

    std::function<void(std::string_view)> log_;
    bool auto_ = false;
    bool closed_ = false;    // a connection ended and nothing runs now
    bool waiting_ = false;   // a try is scheduled at dueAt_
    bool running_ = false;   // a try's connection attempt runs
    bool stopped_ = false;   // a refusal stopped the retries
    bool aborted_ = false;
    uint32_t dueAt_ = 0;
    uint32_t delay_ = FirstDelay;
    int try_ = 0;
};

}  // namespace net
