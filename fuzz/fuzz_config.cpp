// Any user.reg text as the configuration store meets it: the file either loads or is
// refused with an error naming the file and the line, and a write into one key
// never loses or changes what the other keys and values read.
//
// Input: one byte that picks the write, then the file's text. The write goes into
// the key the byte picks (an existing one when the file has keys, else the client's
// own key) and sets a value that is new or, every other time, the key's first one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_folder.h"
#include "platform/hive_file.h"

namespace {

using platform::FileConfigHive;
using platform::HiveValue;
using Keys = std::vector<FileConfigHive::Key>;

[[noreturn]] void Broken(const std::string& what)
{
    std::fprintf(stderr, "fuzz_config: %s\n", what.c_str());
    std::abort();
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y))
            return false;
    }
    return true;
}

// What a reader of the key and value gets: the first key and the first value of
// that name, as OpenKey and ReadValue find them.
const HiveValue* Lookup(const Keys& keys, const std::string& path, const std::string& name)
{
    for (const auto& key : keys)
        if (SameName(key.path, path)) {
            for (const auto& [valueName, value] : key.values)
                if (SameName(valueName, name))
                    return &value;
            return nullptr;
        }
    return nullptr;
}

bool Same(const HiveValue& a, const HiveValue& b)
{
    if (a.type != b.type || a.raw != b.raw)
        return false;
    if (a.type == uint32_t(HiveValue::Type::String))
        return a.text == b.text;
    if (a.type == uint32_t(HiveValue::Type::Dword))
        return a.number == b.number;
    return true;
}

// A refusal names the file, then " line N: " with N a line of the text.
void CheckRefusal(const std::string& message, const std::string& file, const std::string& text)
{
    const std::string front = file + " line ";
    if (message.compare(0, front.size(), front) != 0)
        Broken("a refusal that does not name the file and line: " + message);
    size_t at = front.size();
    long line = 0;
    while (at < message.size() && message[at] >= '0' && message[at] <= '9' && line < 100000000)
        line = line * 10 + (message[at++] - '0');
    long lines = 1;
    for (char c : text)
        lines += c == '\n';
    if (at == front.size() || message.compare(at, 2, ": ") != 0 || line < 1 || line > lines)
        Broken("a refusal with no line of the file: " + message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const std::string file = fuzz::ScratchFolder() + "user.reg";
    const uint8_t pick = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz::WriteInput(file, data + 1, size - 1);

    FileConfigHive hive(file);
    Keys before;
    try {
        before = hive.Keys();
    } catch (const ERegistryException& e) {
        CheckRefusal(e.what(), file, text);
        // Opening a key refuses the same file in the same words.
        try {
            hive.OpenKey("\\Software\\VxaClient", true);
        } catch (const ERegistryException& again) {
            if (std::string(again.what()) != e.what())
                Broken("OpenKey refuses the file in other words than the load");
            return 0;
        }
        Broken("OpenKey accepted a file that the load refused");
    }

    // The write: a key of the file, or the client's own.
    std::string path = "Software\\VxaClient";
    if (!before.empty() && pick % 4 != 0)
        path = before[(pick >> 2) % before.size()].path;
    std::string name = "FuzzWritten";
    for (const auto& key : before)
        if (SameName(key.path, path)) {
            if (!key.values.empty() && pick & 0x80)
                name = key.values.front().first;
            break;
        }
    const std::string written = "value \\ \"quoted\" " + std::to_string(size);
    try {
        if (!hive.OpenKey("\\" + path, true))
            Broken("OpenKey with create did not open the key");
        if (pick & 0x40)
            hive.WriteDword(name, uint32_t(size));
        else
            hive.WriteString(name, written);
        hive.CloseKey();
    } catch (const ERegistryException& e) {
        Broken(std::string("a write into a file that loaded failed: ") + e.what());
    }

    Keys after;
    try {
        after = hive.Keys();
    } catch (const ERegistryException& e) {
        Broken(std::string("the file written back does not load: ") + e.what());
    }

    const HiveValue* now = Lookup(after, path, name);
    if (!now)
        Broken("the written value is not in the file");
    if (pick & 0x40 ? now->type != uint32_t(HiveValue::Type::Dword) || now->number != uint32_t(size)
                    : now->type != uint32_t(HiveValue::Type::String) || now->text != written)
        Broken("the written value reads back changed");
    for (const auto& key : before) {
        bool found = false;
        for (const auto& k : after)
            found = found || SameName(k.path, key.path);
        if (!found)
            Broken("key " + key.path + " is lost by the write");
        for (const auto& [valueName, value] : key.values) {
            const HiveValue* was = Lookup(before, key.path, valueName);
            if (was != &value)
                continue;  // hidden behind an earlier key or value of the same name
            if (SameName(key.path, path) && SameName(valueName, name))
                continue;  // the one written
            const HiveValue* is = Lookup(after, key.path, valueName);
            if (!is)
                Broken("value " + valueName + " of key " + key.path + " is lost by the write");
            if (!Same(*is, value))
                Broken("value " + valueName + " of key " + key.path + " is changed by the write");
        }
    }
    return 0;
}
