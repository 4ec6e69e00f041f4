// Console lines: diagnostics go to standard output one whole line at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Writes `line` and a newline to standard output as one write, flushed at once.
// Safe to call from any thread; lines never interleave.
void ConsoleLine(std::string_view line);

// While alive, also records every console line (tests read them back).
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::vector<std::string> Lines() const;
    // Number of recorded lines that start with `prefix`.
    int CountStartingWith(std::string_view prefix) const;
    void Clear();
};

// Outside text made safe for one log line: at most `limit` bytes of it, printable
// ASCII kept, Latin-1 above 0xA0 as UTF-8, anything else (and the backslash) as \xNN,
// and "..." when it was cut.
std::string PrintableText(std::string_view text, size_t limit);

}  // namespace platform
