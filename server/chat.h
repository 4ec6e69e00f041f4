// Chat: what a player's line becomes, and how often a player may speak.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/protocol_constants.h"

namespace server {

inline constexpr size_t MaxChatLength = net::MaxSpeechLength;  // the client shows no more

// The line as it is relayed: printable Latin-1 only (control characters are
// dropped), cut to 99 characters.
std::string CleanChatLine(std::string_view text);
// How long clients show a line: 4 seconds plus 60 ms per character.
inline uint32_t SpeechDuration(size_t characters) { return 4000 + 60 * uint32_t(characters); }

// At most 5 lines in any second.
class TChatLimiter {
public:
    static constexpr int Lines = 5;
    static constexpr uint32_t Window = 1000;

    // Whether a line at tick `now` may go out; counts it when it may.
    bool Allow(uint32_t now);

private:
    std::array<uint32_t, Lines> times_{};  // the last 5 accepted lines, oldest at next_
    int next_ = 0;
    int count_ = 0;
};

}  // namespace server
