// The current user's configuration hive: keys holding named string and 32-bit values.
// On Windows this is the registry of the current user (registry_hive.h). Elsewhere it
// is one text file in the registry-export format (hive_file.h), by default
// ${XDG_CONFIG_HOME:-$HOME/.config}/vxaclient/user.reg. Key and value names compare
// without regard to case.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A failed registry operation, or a hive file that cannot be read or parsed.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace platform {

// One value as stored: its type and its raw data.
struct HiveValue {
    enum class Type : uint32_t { String = 1, Dword = 4 };  // the registry's REG_SZ and REG_DWORD
    uint32_t type = 1;
    std::string text;           // String
    uint32_t number = 0;        // Dword
    std::vector<uint8_t> raw;   // any other type's data; also a String's as stored in
                                // hex(1), and a Dword's that is not four bytes
};

// Access to the hive, one opened key at a time, in the registry's manner:
// open a key, read or write values in it, close it.
class ConfigHive {
public:
    virtual ~ConfigHive() = default;

    // Opens a key by its path below HKEY_CURRENT_USER ("\Software\VxaClient\Worlds").
    // With `create`, the key and its missing parents are created. Returns false
    // when the key does not exist (and `create` is off); as in the registry, a key
    // exists when any key below it exists. Any earlier key is closed.
    virtual bool OpenKey(const std::string& path, bool create) = 0;
    // Ends the opened key's operation, making its writes lasting.
    virtual void CloseKey() = 0;
    // Closes the opened key dropping writes not yet lasting (an operation that
    // failed half-way). The registry makes each write lasting at once.
    virtual void DiscardKey() = 0;
    virtual bool KeyOpen() const = 0;

    // Reads a value of the opened key; nothing when absent or no key is open.
    virtual std::optional<HiveValue> ReadValue(const std::string& name) = 0;
    // Writes a value of the opened key; raises ERegistryException when no key is open.
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual void WriteDword(const std::string& name, uint32_t value) = 0;

    // Removes a key and everything below it; false when it did not exist.
    virtual bool DeleteKey(const std::string& path) = 0;

    // Between these, the keys opened and closed form one change that lasts as a
    // whole (the hive file is written once, at EndUpdate). The registry has no
    // such grouping and writes each value at once.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
    // Ends an update dropping its changes (it failed half-way).
    virtual void CancelUpdate() {}
};

// The current user's hive: the registry on Windows, the hive file elsewhere.
std::unique_ptr<ConfigHive> OpenCurrentUserHive();

// The hive file the current user's hive uses off Windows.
std::string DefaultHiveFile();

// A key path without its outer backslashes: "\Software\VxaClient\" -> "Software\VxaClient".
std::string HiveKeyPath(const std::string& path);
// Key and value names compare without regard to case.
bool SameHiveName(const std::string& a, const std::string& b);

}  // namespace platform
