// The catalogue's payload length check.
#include "net/message_types.h"

#include <string>

#include "platform/console.h"

namespace net {

bool PayloadFits(uint32_t type, std::string_view payload)
{
    const TMessageInfo* info = FindMessage(type);
    if (!info || payload.size() >= info->Layout)
        return true;
    platform::ConsoleLine(std::string(info->Name) + ": dropped, payload of " +
                          std::to_string(payload.size()) + " bytes is shorter than its " +
                          std::to_string(info->Layout) + "-byte layout");
    return false;
}

}  // namespace net
