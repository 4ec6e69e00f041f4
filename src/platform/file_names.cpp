// UTF-8 file names to the system's: wide calls on Windows, the bytes as they are elsewhere.
#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace platform {

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), count);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), count, nullptr, nullptr);
    return utf8;
}

std::filesystem::path PathFromUtf8(std::string_view utf8) { return std::filesystem::path(WideFromUtf8(utf8)); }

std::string Utf8FromPath(const std::filesystem::path& path) { return Utf8FromWide(path.native()); }

std::FILE* OpenFile(const std::string& utf8, const char* mode)
{
    return _wfopen(WideFromUtf8(utf8).c_str(), WideFromUtf8(mode).c_str());
}
Utf8Arguments::Utf8Arguments(int argc, char** argv)
{
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            texts_.push_back(Utf8FromWide(wide[i]));
        LocalFree(wide);
    } else {
        texts_.assign(argv, argv + argc);
    }
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
}
#else
Utf8Arguments::Utf8Arguments(int argc, char** argv) : texts_(argv, argv + argc)
{
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
}

std::filesystem::path PathFromUtf8(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

std::string Utf8FromPath(const std::filesystem::path& path) { return path.native(); }

std::FILE* OpenFile(const std::string& utf8, const char* mode) { return std::fopen(utf8.c_str(), mode); }
#endif

}  // namespace platform
