// File names as the programs hold them (UTF-8 text) turned into the system's own.
//
// Every path in the programs is UTF-8: typed into a window, read from the
// configuration, or built from a folder and a game path. POSIX systems take
// those bytes as they are. Windows takes UTF-16 through its wide calls; its
// narrow calls would read the bytes in the ANSI code page and miss every folder
// whose name is not plain ASCII ("C:\Spiele\Wëlt_Ω\"). So nothing opens,
// creates, renames or removes a file by a narrow name: it goes through here.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The file-system path for a UTF-8 name. Bytes that are not UTF-8 become
// U+FFFD on Windows (the open then fails naming the path) and stay as they are
// elsewhere.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// A path as UTF-8 text, for messages, the configuration and further joins.
std::string Utf8FromPath(const std::filesystem::path& path);

// std::fopen by a UTF-8 name (_wfopen on Windows).
std::FILE* OpenFile(const std::string& utf8, const char* mode);

// A program's arguments as UTF-8, its name first, in argv's form for main()'s
// own parsing. Windows hands main() its arguments in the ANSI code page, with
// '?' for every letter outside it ("C:\Spiele\W?lt_?"): there they are read
// again from the wide command line. Elsewhere they are argv as it is.
class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int Count() const { return int(texts_.size()); }
    char** Argv() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;  // one for each text, then nullptr
};

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
#endif

}  // namespace platform
