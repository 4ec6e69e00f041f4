// The server's side of the login handshake, without sockets, threads or Qt: which
// message each stage accepts, which names are valid, and what the server remembers
// of each peer address to slow down guessing and probing (password failures, names
// asked, new accounts) in a bounded table. The game server drives it from its event
// loop with the tick count; tests drive it with any clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace server {

enum class EStage {
    Connected,  // welcome and protocol version sent
    Named,      // client_name accepted
    LoggedIn,   // password accepted, server_udpport sent
    InGame,     // client_entergame
};

// Whether a client message may come at this stage; any other is dropped unread.
bool AllowedAt(EStage stage, uint32_t type);

// Printable Latin-1: what the client's font can show.
inline bool Printable(unsigned char c) { return (c >= 0x20 && c < 0x7F) || c >= 0xA0; }

// Names are printable Latin-1, 1 to 47 characters, with no blank at either end.
bool ValidName(std::string_view name);

// The delay before the next password check of an address after its failures: none
// for the first three, then 1 s doubling up to a minute.
uint32_t FailureDelay(int failures);

inline constexpr uint32_t AccountWindow = 60000;        // new accounts are counted over this window
inline constexpr uint32_t FailureMemory = 3600 * 1000;  // failures are forgotten this long after the last
inline constexpr uint32_t NameWindow = 10000;    // names answered at once are counted over this window ...
inline constexpr uint32_t NameInterval = 1000;   // ... the rest one per this many ms

// What the server remembers of peer addresses. At most `capacity` addresses: when
// full, the least recently used goes; addresses with nothing left to remember are
// swept out.
class TAddressBook {
public:
    explicit TAddressBook(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

    size_t Size() const { return index_.size(); }

    // A password check of the address failed: its next checks wait (FailureDelay).
    void PasswordFailed(const std::string& address, uint32_t now);
    // Whether a password check of the address must still wait.
    bool CheckDelayed(const std::string& address, uint32_t now);

    // When a name asked now by the address is answered: now for the first
    // `perWindow` names of a NameWindow, then one per NameInterval. `firstSlowed` is
    // set the first time the address is slowed down (for one log line).
    uint32_t NameAnswerTime(const std::string& address, uint32_t now, int perWindow, bool& firstSlowed);

    // Counts a new account against the address at `now`; false when the address has
    // made `perWindow` accounts within AccountWindow.
    bool ReserveAccount(const std::string& address, uint32_t now, int perWindow);
    // Gives back an account reserved at `reservedAt` of which nothing came.
    void ReleaseAccount(const std::string& address, uint32_t reservedAt);

    // Forgets the addresses with nothing left to remember.
    void Sweep(uint32_t now);

private:
    struct TEntry {
        std::string Address;
        int Failures = 0;  // password failures, forgotten FailureMemory after the last
        uint32_t LastFailure = 0;
        uint32_t NextCheck = 0;        // no password check of this address starts before
        std::deque<uint32_t> Created;  // times of the accounts counted in the last window
        uint32_t NameWindowStart = 0;  // names asked in the current window,
        int Names = 0;
        uint32_t NextName = 0;  // and when the next one may be answered
        bool ProbingLogged = false;
    };
    // The entry of an address, made when missing.
    TEntry& Remember(const std::string& address);
    // The entry of an address, or none; makes nothing.
    TEntry* Find(const std::string& address);

    size_t capacity_;
    std::list<TEntry> order_;  // most recently used first
    std::unordered_map<std::string, std::list<TEntry>::iterator> index_;
};

// Password checks waiting their turn, oldest first, by connection (socket-table
// index and serial), and the accounts with a check running: one check per account at
// a time, so that two logins of a new name cannot both create it.
class TPasswordQueue {
public:
    enum class EVerdict {
        Gone,   // the connection has ended or no longer waits: it leaves the queue
        Wait,   // its address is delayed or its account is being checked
        Ready,  // it leaves the queue and its check starts
    };

    void Push(int32_t index, uint64_t serial) { waiting_.emplace_back(index, serial); }
    bool Empty() const { return waiting_.empty(); }

    // Goes through the queue oldest first, asking `decide` of each entry and calling
    // `start` for each that is ready; `start` may push entries, which come last.
    template <typename Decide, typename Start>
    void Run(Decide decide, Start start)
    {
        for (size_t i = 0; i < waiting_.size();) {
            const auto [index, serial] = waiting_[i];
            const EVerdict verdict = decide(index, serial);
            if (verdict == EVerdict::Wait) {
                ++i;
                continue;
            }
            waiting_.erase(waiting_.begin() + std::ptrdiff_t(i));
            if (verdict == EVerdict::Ready)
                start(index, serial);
        }
    }

    // Accounts by their folded names.
    bool Checking(const std::string& account) const { return running_.count(account) > 0; }
    void CheckStarted(const std::string& account) { running_.insert(account); }
    void CheckEnded(const std::string& account) { running_.erase(account); }

private:
    std::deque<std::pair<int32_t, uint64_t>> waiting_;
    std::set<std::string> running_;
};

}  // namespace server
