// A configuration hive kept in one registry-export text file:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\VxaClient\Worlds]
//   "Count"=dword:00000001
//   "1"="1"
//
// Strings escape "\" and the double quote with a backslash; other value types
// are kept as hex(N): byte lists. The file is read afresh when a key is opened and
// replaced atomically (temporary file, flush, rename) when an opened key is closed
// after a write, so a process killed at any moment leaves either the old file or
// the new one. The current user's hive off Windows, and the tests' everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/config_hive.h"

namespace platform {

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
