// Console lines, serialised by one lock.
#include "platform/console.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex consoleLock;
std::vector<std::string>* captured = nullptr;  // guarded by consoleLock

}  // namespace

void ConsoleLine(std::string_view line)
{
    std::lock_guard<std::mutex> hold(consoleLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (captured)
        captured->emplace_back(line);
}

ConsoleCapture::ConsoleCapture()
{
    std::lock_guard<std::mutex> hold(consoleLock);
    delete captured;
    captured = new std::vector<std::string>;
}

ConsoleCapture::~ConsoleCapture()
{
    std::lock_guard<std::mutex> hold(consoleLock);
    delete captured;
    captured = nullptr;
}

std::vector<std::string> ConsoleCapture::Lines() const
{
    std::lock_guard<std::mutex> hold(consoleLock);
    return captured ? *captured : std::vector<std::string>{};
}

int ConsoleCapture::CountStartingWith(std::string_view prefix) const
{
    std::lock_guard<std::mutex> hold(consoleLock);
    int n = 0;
    if (captured)
        for (const auto& l : *captured)
            n += std::string_view(l).substr(0, prefix.size()) == prefix;
    return n;
}

void ConsoleCapture::Clear()
{
    std::lock_guard<std::mutex> hold(consoleLock);
    if (captured)
        captured->clear();
}

std::string PrintableText(std::string_view text, size_t limit)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(char(c));
        } else if (c >= 0xA0) {
            out.push_back(char(0xC0 | c >> 6));  // Latin-1 above 0x7F as UTF-8
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out += "\\x";
            out.push_back(Hex[c >> 4]);
            out.push_back(Hex[c & 15]);
        }
    }
    if (text.size() > limit)
        out += "...";
    return out;
}

}  // namespace platform
