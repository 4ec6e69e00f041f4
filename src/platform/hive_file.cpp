// The hive in a registry-export text file: its parser, its writer and the atomic
// replacement of the file.
#include "platform/hive_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/byte_order.h"
#include "platform/file_names.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kRoot = "HKEY_CURRENT_USER";

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// hex(1) data is UTF-16LE ended by a zero unit.
std::string DecodeUtf16(const std::vector<uint8_t>& raw)
{
    std::string out;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        uint32_t unit = GetU16(&raw[i]);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < raw.size()) {
            uint32_t low = GetU16(&raw[i + 2]);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, unit);
    }
    return out;
}

// Parses one hive file. Every fault names the file and the line.
class HiveParser {
public:
    HiveParser(const std::string& file, const std::string& text) : file_(file), text_(text) {}

    std::vector<FileConfigHive::Key> Parse()
    {
        std::vector<FileConfigHive::Key> keys;
        bool headerSeen = false;
        std::string line;
        while (NextLine(line)) {
            const int at = lineNo_;
            std::string trimmed = Trim(line);
            if (trimmed.empty() || trimmed[0] == ';')
                continue;
            if (!headerSeen) {
                if (trimmed != kHeader)
                    Fail(at, "expected \"" + std::string(kHeader) + "\"");
                headerSeen = true;
                continue;
            }
            if (trimmed[0] == '[') {
                if (trimmed.back() != ']')
                    Fail(at, "key line without its closing \"]\"");
                std::string path = trimmed.substr(1, trimmed.size() - 2);
                if (!path.empty() && path[0] == '-')
                    Fail(at, "key deletions are not supported");
                const std::string root = kRoot;
                if (!SameHiveName(path.substr(0, root.size()), root) ||
                    (path.size() > root.size() && path[root.size()] != '\\'))
                    Fail(at, "key outside " + root);
                keys.push_back({HiveKeyPath(path.substr(root.size())), {}});
                continue;
            }
            if (keys.empty())
                Fail(at, "value outside any key");
            keys.back().values.push_back(ParseValue(trimmed, at));
        }
        if (!headerSeen && !text_.empty() && text_.find_first_not_of(" \t\r\n") != std::string::npos)
            Fail(lineNo_, "expected \"" + std::string(kHeader) + "\"");
        return keys;
    }

private:
    [[noreturn]] void Fail(int line, const std::string& what) const
    {
        throw ERegistryException(file_ + " line " + std::to_string(line) + ": " + what);
    }

    static std::string Trim(const std::string& s)
    {
        size_t a = s.find_first_not_of(" \t\r");
        if (a == std::string::npos)
            return {};
        size_t b = s.find_last_not_of(" \t\r");
        return s.substr(a, b - a + 1);
    }

    bool NextLine(std::string& line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNo_;
        if (lineNo_ == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        return true;
    }

    // Reads a quoted string at s[i] (on the opening quote); leaves i after the closing quote.
    std::string ReadQuoted(const std::string& s, size_t& i, int at) const
    {
        std::string out;
        for (++i; i < s.size(); ++i) {
            if (s[i] == '"') {
                ++i;
                return out;
            }
            if (s[i] == '\\') {
                if (++i >= s.size())
                    break;
                if (s[i] != '\\' && s[i] != '"')
                    Fail(at, std::string("unknown escape \"\\") + s[i] + "\"");
            }
            out += s[i];
        }
        Fail(at, "string without its closing quote");
    }

    std::pair<std::string, HiveValue> ParseValue(const std::string& s, int at)
    {
        std::string name;
        size_t i = 0;
        if (s[0] == '@') {
            i = 1;
        } else if (s[0] == '"') {
            name = ReadQuoted(s, i, at);
        } else {
            Fail(at, "expected a key in brackets or a quoted value name");
        }
        if (i >= s.size() || s[i] != '=')
            Fail(at, "expected \"=\" after the value name");
        std::string data = s.substr(i + 1);
        HiveValue value;
        if (!data.empty() && data[0] == '"') {
            size_t j = 0;
            value.type = uint32_t(HiveValue::Type::String);
            value.text = ReadQuoted(data, j, at);
            if (!Trim(data.substr(j)).empty())
                Fail(at, "text after the closing quote");
        } else if (data.compare(0, 6, "dword:") == 0) {
            std::string digits = data.substr(6);
            if (digits.empty() || digits.size() > 8 ||
                !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
                Fail(at, "a dword needs one to eight hexadecimal digits");
            value.type = uint32_t(HiveValue::Type::Dword);
            value.number = uint32_t(std::stoul(digits, nullptr, 16));
        } else if (data.compare(0, 3, "hex") == 0) {
            ParseHex(data, at, value);
        } else {
            Fail(at, "unknown value data \"" + data + "\"");
        }
        return {name, value};
    }

    // hex:aa,bb or hex(N):aa,bb with "\" continuing the list on the next line.
    void ParseHex(std::string data, int at, HiveValue& value)
    {
        size_t colon = data.find(':');
        if (colon == std::string::npos)
            Fail(at, "hex data without \":\"");
        const std::string kind = data.substr(0, colon);
        if (kind == "hex") {
            value.type = 3;
        } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
            try {
                size_t used = 0;
                value.type = uint32_t(std::stoul(kind.substr(4, kind.size() - 5), &used, 16));
                if (used != kind.size() - 5)
                    throw std::invalid_argument("type");
            } catch (const std::exception&) {
                Fail(at, "bad hex value type \"" + kind + "\"");
            }
        } else {
            Fail(at, "bad hex value type \"" + kind + "\"");
        }
        std::string list = data.substr(colon + 1);
        std::string line;
        while (!Trim(list).empty() && Trim(list).back() == '\\') {
            list = Trim(list);
            list.pop_back();
            if (!NextLine(line))
                Fail(lineNo_, "hex list continued past the end of the file");
            list += Trim(line);
        }
        std::stringstream items(list);
        std::string item;
        while (std::getline(items, item, ',')) {
            item = Trim(item);
            if (item.empty() && items.eof())
                break;
            if (item.size() != 2 || !std::isxdigit((unsigned char)item[0]) || !std::isxdigit((unsigned char)item[1]))
                Fail(lineNo_, "bad hex byte \"" + item + "\"");
            value.raw.push_back(uint8_t(std::stoul(item, nullptr, 16)));
        }
        if (value.type == uint32_t(HiveValue::Type::String)) {
            // The bytes stay as stored, so that a rewrite keeps them exactly (the text
            // may hold a line break, which a quoted string cannot).
            value.text = DecodeUtf16(value.raw);
        } else if (value.type == uint32_t(HiveValue::Type::Dword) && value.raw.size() == 4) {
            value.number = GetU32(value.raw.data());
            value.raw.clear();
        }
    }

    const std::string& file_;
    const std::string& text_;
    size_t pos_ = 0;
    int lineNo_ = 0;
};

std::string Serialise(const std::vector<FileConfigHive::Key>& keys)
{
    std::string out = std::string(kHeader) + "\n";
    for (const auto& key : keys) {
        out += "\n[" + std::string(kRoot) + (key.path.empty() ? "" : "\\" + key.path) + "]\n";
        for (const auto& [name, value] : key.values) {
            out += name.empty() ? "@=" : Quote(name) + "=";
            char buf[16];
            // A string read from hex(1), or a dword whose data is not four bytes, is
            // written back as it was stored.
            if (value.type == uint32_t(HiveValue::Type::String) && value.raw.empty()) {
                out += Quote(value.text);
            } else if (value.type == uint32_t(HiveValue::Type::Dword) && value.raw.empty()) {
                std::snprintf(buf, sizeof buf, "dword:%08x", value.number);
                out += buf;
            } else {
                if (value.type == 3) {
                    out += "hex:";
                } else {
                    std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
                    out += buf;
                }
                for (size_t i = 0; i < value.raw.size(); ++i) {
                    std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", value.raw[i]);
                    out += buf;
                }
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace

std::function<void()> FileConfigHive::MidWriteHook;

FileConfigHive::FileConfigHive(std::string filePath) : filePath_(std::move(filePath)) {}

std::vector<FileConfigHive::Key> FileConfigHive::Load() const
{
    std::error_code ec;
    if (!std::filesystem::exists(PathFromUtf8(filePath_), ec))
        return {};
    std::ifstream in(PathFromUtf8(filePath_), std::ios::binary);
    if (!in)
        throw ERegistryException(filePath_ + ": cannot open the configuration file");
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw ERegistryException(filePath_ + ": cannot read the configuration file");
    const std::string content = text.str();
    return HiveParser(filePath_, content).Parse();
}

namespace {

// Removes the temporary files that writers killed in the middle of a write left
// beside the file ("user.reg.tmp<pid>" of a process that no longer runs). A live
// writer's file is left alone.
void RemoveAbandonedTemporaries(const std::filesystem::path& target)
{
#ifndef _WIN32
    std::error_code ec;
    const std::string prefix = target.filename().string() + ".tmp";
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const auto pid = pid_t(std::stol(digits));
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            std::filesystem::remove(it->path(), ec);
    }
#else
    (void)target;
#endif
}

}  // namespace

void FileConfigHive::Save(const std::vector<Key>& keys) const
{
    const std::string text = Serialise(keys);
    const std::filesystem::path target = PathFromUtf8(filePath_);
    std::error_code ec;
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), ec);
    RemoveAbandonedTemporaries(target);
#ifdef _WIN32
    const std::string temp = filePath_ + ".tmp" + std::to_string(GetCurrentProcessId());
#else
    const std::string temp = filePath_ + ".tmp" + std::to_string(getpid());
#endif
    auto fail = [&](const std::string& what) {
        std::filesystem::remove(PathFromUtf8(temp), ec);
        throw ERegistryException(filePath_ + ": " + what);
    };
    std::FILE* f = OpenFile(temp, "wb");
    if (!f)
        fail("cannot create " + temp);
    const size_t half = text.size() / 2;
    bool ok = std::fwrite(text.data(), 1, half, f) == half && std::fflush(f) == 0;
    if (ok && MidWriteHook)
        MidWriteHook();
    ok = ok && std::fwrite(text.data() + half, 1, text.size() - half, f) == text.size() - half &&
         std::fflush(f) == 0;
#ifdef _WIN32
    ok = ok && _commit(_fileno(f)) == 0;
#else
    ok = ok && fsync(fileno(f)) == 0;
#endif
    if (std::fclose(f) != 0 || !ok)
        fail("cannot write " + temp);
#ifdef _WIN32
    // Replaces the old file in one step, written through before it returns.
    if (!MoveFileExW(WideFromUtf8(temp).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail("cannot replace the file with " + temp + ": error " + std::to_string(GetLastError()));
#else
    std::filesystem::rename(PathFromUtf8(temp), target, ec);
    if (ec)
        fail("cannot replace the file with " + temp + ": " + ec.message());
    // Make the rename itself lasting.
    if (target.has_parent_path()) {
        int dir = ::open(target.parent_path().c_str(), O_RDONLY);
        if (dir >= 0) {
            fsync(dir);
            ::close(dir);
        }
    }
#endif
}

FileConfigHive::Key* FileConfigHive::FindKey(const std::string& path)
{
    const std::string want = HiveKeyPath(path);
    for (auto& key : keys_)
        if (SameHiveName(key.path, want))
            return &key;
    return nullptr;
}

bool FileConfigHive::HasKeyBelow(const std::string& path) const
{
    if (path.empty())
        return !keys_.empty();
    for (const auto& key : keys_)
        if (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
            SameHiveName(key.path.substr(0, path.size()), path))
            return true;
    return false;
}

bool FileConfigHive::OpenKey(const std::string& path, bool create)
{
    CloseKey();
    if (!heldLoaded_) {
        keys_ = Load();
        heldLoaded_ = held_;
    }
    const std::string want = HiveKeyPath(path);
    if (!FindKey(want) && HasKeyBelow(want)) {
        // As in the registry, a key exists when a key below it does, even where the
        // file has no section of its own for it (a hand-made or merged export).
        // Taken into the open keys unwritten: a value written into it gives it one.
        keys_.push_back({want, {}});
    }
    if (!FindKey(want)) {
        if (!create)
            return false;
        // Create the key and each missing parent, parents first.
        size_t at = 0;
        while (true) {
            at = want.find('\\', at);
            const std::string part = want.substr(0, at);
            if (!part.empty() && !FindKey(part))
                keys_.push_back({part, {}});
            if (at == std::string::npos)
                break;
            ++at;
        }
        dirty_ = true;
    }
    openPath_ = want;
    open_ = true;
    return true;
}

void FileConfigHive::CloseKey()
{
    if (open_ && dirty_) {
        if (held_)
            heldDirty_ = true;
        else
            Save(keys_);
    }
    open_ = false;
    dirty_ = false;
    if (!held_)
        keys_.clear();
}

void FileConfigHive::DiscardKey()
{
    if (held_) {
        // Writes of a held update cannot be told apart: keep them for EndUpdate.
        CloseKey();
        return;
    }
    open_ = false;
    dirty_ = false;
    keys_.clear();
}

void FileConfigHive::BeginUpdate()
{
    CloseKey();
    held_ = true;
    heldLoaded_ = false;
    heldDirty_ = false;
}

void FileConfigHive::EndUpdate()
{
    CloseKey();
    const bool save = heldDirty_;
    held_ = heldLoaded_ = heldDirty_ = false;
    if (save)
        Save(keys_);
    keys_.clear();
}

void FileConfigHive::CancelUpdate()
{
    open_ = dirty_ = false;
    held_ = heldLoaded_ = heldDirty_ = false;
    keys_.clear();
}

std::optional<HiveValue> FileConfigHive::ReadValue(const std::string& name)
{
    if (!open_)
        return std::nullopt;
    Key* key = FindKey(openPath_);
    for (const auto& [valueName, value] : key->values)
        if (SameHiveName(valueName, name))
            return value;
    return std::nullopt;
}

void FileConfigHive::WriteValue(const std::string& name, HiveValue value)
{
    if (!open_)
        throw ERegistryException("Failed to set data for '" + name + "': no key is open");
    Key* key = FindKey(openPath_);
    dirty_ = true;
    for (auto& [valueName, old] : key->values)
        if (SameHiveName(valueName, name)) {
            old = std::move(value);
            return;
        }
    key->values.emplace_back(name, std::move(value));
}

void FileConfigHive::WriteString(const std::string& name, const std::string& value)
{
    // A line break cannot be written inside a quoted string of this format.
    if (value.find_first_of("\r\n") != std::string::npos)
        throw ERegistryException("Failed to set data for '" + name + "': the text holds a line break");
    HiveValue v;
    v.type = uint32_t(HiveValue::Type::String);
    v.text = value;
    WriteValue(name, std::move(v));
}

void FileConfigHive::WriteDword(const std::string& name, uint32_t value)
{
    HiveValue v;
    v.type = uint32_t(HiveValue::Type::Dword);
    v.number = value;
    WriteValue(name, std::move(v));
}

bool FileConfigHive::DeleteKey(const std::string& path)
{
    EndUpdate();
    keys_ = Load();
    const std::string want = HiveKeyPath(path);
    const size_t before = keys_.size();
    std::erase_if(keys_, [&](const Key& key) {
        return SameHiveName(key.path, want) ||
               (key.path.size() > want.size() && key.path[want.size()] == '\\' &&
                SameHiveName(key.path.substr(0, want.size()), want));
    });
    const bool removed = keys_.size() != before;
    if (removed)
        Save(keys_);
    keys_.clear();
    return removed;
}

}  // namespace platform
