// The current user's configuration hive: keys holding named string and 32-bit values.
//
// On Windows this is the registry of the current user. Elsewhere it is one text
// file in the registry-export format, by default
// ${XDG_CONFIG_HOME:-$HOME/.config}/vxaclient/user.reg:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\VxaClient\Worlds]
//   "Count"=dword:00000001
//   "1"="1"
//
// Strings escape "\" and the double quote with a backslash; other value types
// are kept as hex(N): byte lists. Key and value names compare without regard to
// case. The file is read afresh when a key is opened and replaced atomically
// (temporary file, flush, rename) when an opened key is closed after a write,
// so a process killed at any moment leaves either the old file or the new one.
#pragma once

#include <cstdint>
#include <functional>
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

// A hive kept in one registry-export text file.
class FileConfigHive : public ConfigHive {
public:
    explicit FileConfigHive(std::string filePath);

    bool OpenKey(const std::string& path, bool create) override;
    void CloseKey() override;
    void DiscardKey() override;
    bool KeyOpen() const override { return open_; }
    std::optional<HiveValue> ReadValue(const std::string& name) override;
    void WriteString(const std::string& name, const std::string& value) override;
    void WriteDword(const std::string& name, uint32_t value) override;
    bool DeleteKey(const std::string& path) override;
    void BeginUpdate() override;
    void EndUpdate() override;
    void CancelUpdate() override;

    const std::string& FilePath() const { return filePath_; }

    // Called while the temporary file is half written; tests use it to kill the
    // process in the middle of a write.
    static std::function<void()> MidWriteHook;

    struct Key {
        std::string path;  // "Software\VxaClient\Worlds", as first written
        std::vector<std::pair<std::string, HiveValue>> values;
    };
    // Every key of the file as it reads now, in file order (an absent file has
    // none); raises as OpenKey does when the file cannot be read or parsed.
    std::vector<Key> Keys() const { return Load(); }

private:
    std::vector<Key> Load() const;
    void Save(const std::vector<Key>& keys) const;
    Key* FindKey(const std::string& path);
    bool HasKeyBelow(const std::string& path) const;
    void WriteValue(const std::string& name, HiveValue value);

    std::string filePath_;
    std::vector<Key> keys_;   // the file as read when the key was opened
    std::string openPath_;
    bool open_ = false;
    bool dirty_ = false;
    bool held_ = false;         // inside BeginUpdate/EndUpdate
    bool heldLoaded_ = false;   // keys_ holds the file as of the update's start
    bool heldDirty_ = false;
};

}  // namespace platform
