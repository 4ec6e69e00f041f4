// The current user's hive on Windows: the registry of the current user, one opened
// key at a time. Key paths, value names and strings are UTF-8 here and UTF-16 in the
// registry: the wide calls keep every character, where the narrow ones would go
// through the ANSI code page and turn a folder such as "C:\Spiele\Wëlt_Ω\" into
// question marks.
#include "platform/registry_hive.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/file_names.h"

namespace platform {
namespace {

class RegistryHive : public ConfigHive {
public:
    ~RegistryHive() override { CloseKey(); }

    bool OpenKey(const std::string& path, bool create) override
    {
        CloseKey();
        const std::wstring sub = WideFromUtf8(HiveKeyPath(path));
        LONG rc = create ? RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &key_, nullptr)
                         : RegOpenKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_ALL_ACCESS, &key_);
        if (rc != ERROR_SUCCESS)
            key_ = nullptr;
        return key_ != nullptr;
    }
    void CloseKey() override
    {
        if (key_)
            RegCloseKey(key_);
        key_ = nullptr;
    }
    void DiscardKey() override { CloseKey(); }
    bool KeyOpen() const override { return key_ != nullptr; }

    std::optional<HiveValue> ReadValue(const std::string& name) override
    {
        if (!key_)
            return std::nullopt;
        const std::wstring wideName = WideFromUtf8(name);
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::vector<uint8_t> data(size);
        if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            return std::nullopt;
        data.resize(size);
        HiveValue v;
        v.type = type;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            // UTF-16 units, usually ended by a zero unit that the size counts.
            v.type = uint32_t(HiveValue::Type::String);
            std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
            std::memcpy(wide.data(), data.data(), wide.size() * sizeof(wchar_t));
            while (!wide.empty() && wide.back() == L'\0')
                wide.pop_back();
            v.text = Utf8FromWide(wide);
        } else if (type == REG_DWORD && size == 4) {
            v.number = GetU32(data.data());
        } else {
            v.raw = std::move(data);
        }
        return v;
    }
    void WriteString(const std::string& name, const std::string& value) override
    {
        const std::wstring wide = WideFromUtf8(value);
        Set(name, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()), DWORD((wide.size() + 1) * sizeof(wchar_t)));
    }
    void WriteDword(const std::string& name, uint32_t value) override
    {
        Set(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }
    bool DeleteKey(const std::string& path) override
    {
        CloseKey();
        return RegDeleteTreeW(HKEY_CURRENT_USER, WideFromUtf8(HiveKeyPath(path)).c_str()) == ERROR_SUCCESS;
    }

private:
    void Set(const std::string& name, DWORD type, const BYTE* data, DWORD size)
    {
        if (!key_ || RegSetValueExW(key_, WideFromUtf8(name).c_str(), 0, type, data, size) != ERROR_SUCCESS)
            throw ERegistryException("Failed to set data for '" + name + "'");
    }

    HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<ConfigHive> OpenRegistryHive()
{
    return std::make_unique<RegistryHive>();
}

}  // namespace platform
