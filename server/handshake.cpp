// The login handshake's rules and the memory of peer addresses.
#include "handshake.h"

#include <algorithm>
#include <utility>

#include "net/message_types.h"
#include "net/protocol_constants.h"

namespace server {

bool AllowedAt(EStage stage, uint32_t type)
{
    using namespace net;
    switch (stage) {
    case EStage::Connected:
        return type == msg::client_version || type == msg::client_protocolversion ||
               type == msg::client_identity || type == msg::client_name;
    case EStage::Named:
        return type == msg::client_password;
    case EStage::LoggedIn:
        return type == msg::client_shape || type == msg::client_entergame || type == msg::client_chat;
    case EStage::InGame:
        return type == msg::client_shape || type == msg::client_chat;
    }
    return false;
}

bool ValidName(std::string_view name)
{
    if (name.empty() || name.size() > size_t(net::MaxNameLength) || name.front() == ' ' || name.back() == ' ')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return Printable(static_cast<unsigned char>(c)); });
}

uint32_t FailureDelay(int failures)
{
    if (failures < 3)
        return 0;
    return std::min<uint32_t>(60000, 1000u << std::min(failures - 3, 6));
}

TAddressBook::TEntry& TAddressBook::Remember(const std::string& address)
{
    if (TEntry* known = Find(address))
        return *known;
    while (!order_.empty() && order_.size() >= capacity_) {
        index_.erase(order_.back().Address);
        order_.pop_back();
    }
    order_.emplace_front();
    order_.front().Address = address;
    index_.emplace(address, order_.begin());
    return order_.front();
}

TAddressBook::TEntry* TAddressBook::Find(const std::string& address)
{
    const auto it = index_.find(address);
    if (it == index_.end())
        return nullptr;
    order_.splice(order_.begin(), order_, it->second);  // iterators stay valid
    return &*it->second;
}

void TAddressBook::PasswordFailed(const std::string& address, uint32_t now)
{
    TEntry& entry = Remember(address);
    if (entry.Failures && now - entry.LastFailure > FailureMemory)
        entry.Failures = 0;
    ++entry.Failures;
    entry.LastFailure = now;
    entry.NextCheck = now + FailureDelay(entry.Failures);
}

bool TAddressBook::CheckDelayed(const std::string& address, uint32_t now)
{
    const TEntry* entry = Find(address);
    return entry && int32_t(entry->NextCheck - now) > 0;
}

uint32_t TAddressBook::NameAnswerTime(const std::string& address, uint32_t now, int perWindow, bool& firstSlowed)
{
    firstSlowed = false;
    TEntry& entry = Remember(address);
    if (now - entry.NameWindowStart >= NameWindow) {
        entry.NameWindowStart = now;
        entry.Names = 0;
    }
    if (++entry.Names <= perWindow && int32_t(entry.NextName - now) <= 0)
        return now;
    firstSlowed = !std::exchange(entry.ProbingLogged, true);
    entry.NextName = (int32_t(entry.NextName - now) > 0 ? entry.NextName : now) + NameInterval;
    return entry.NextName;
}

bool TAddressBook::ReserveAccount(const std::string& address, uint32_t now, int perWindow)
{
    TEntry& entry = Remember(address);
    while (!entry.Created.empty() && now - entry.Created.front() >= AccountWindow)
        entry.Created.pop_front();
    if (int(entry.Created.size()) >= perWindow)
        return false;
    entry.Created.push_back(now);
    return true;
}

void TAddressBook::ReleaseAccount(const std::string& address, uint32_t reservedAt)
{
    TEntry* entry = Find(address);
    if (!entry)
        return;  // forgotten meanwhile
    const auto it = std::find(entry->Created.begin(), entry->Created.end(), reservedAt);
    if (it != entry->Created.end())
        entry->Created.erase(it);
}

void TAddressBook::Sweep(uint32_t now)
{
    for (auto it = order_.begin(); it != order_.end();) {
        TEntry& a = *it;
        while (!a.Created.empty() && now - a.Created.front() >= AccountWindow)
            a.Created.pop_front();
        const bool failuresLive = a.Failures && now - a.LastFailure <= FailureMemory;
        const bool delayLive = int32_t(a.NextCheck - now) > 0 || int32_t(a.NextName - now) > 0 ||
                               (a.Names && now - a.NameWindowStart < NameWindow);
        // A reservation of a check still running stays in Created until it is used.
        if (failuresLive || delayLive || !a.Created.empty()) {
            ++it;
            continue;
        }
        index_.erase(a.Address);
        it = order_.erase(it);
    }
}

}  // namespace server
