// Chat lines and their rate limit.
#include "chat.h"

namespace server {

std::string CleanChatLine(std::string_view text)
{
    std::string line;
    for (const char c : text) {
        if (line.size() == MaxChatLength)
            break;
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 0x20 && b < 0x7F) || b >= 0xA0)
            line.push_back(c);
    }
    return line;
}

bool TChatLimiter::Allow(uint32_t now)
{
    if (count_ == Lines && now - times_[size_t(next_)] < Window)
        return false;
    times_[size_t(next_)] = now;
    next_ = (next_ + 1) % Lines;
    if (count_ < Lines)
        ++count_;
    return true;
}

}  // namespace server
