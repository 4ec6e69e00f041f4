// The configuration store over the current user's hive.
#include "frontend/vxa_config.h"

#include <stdexcept>

std::unique_ptr<TVxaConfig> VxaConfig;

namespace {

// One operation's opened key. Whether the key exists is not checked here: the
// read or write reports a missing key. Writes last only when Close is reached,
// so an operation that fails half-way leaves the store as it was.
class OpenedKey {
public:
    OpenedKey(platform::ConfigHive& hive, const std::string& path) : hive_(hive) { hive_.OpenKey(path, false); }
    ~OpenedKey() { hive_.DiscardKey(); }
    void Close() { hive_.CloseKey(); }

private:
    platform::ConfigHive& hive_;
};

std::string StringItem(const std::optional<platform::HiveValue>& value, const std::string& name)
{
    if (!value)
        return {};
    if (value->type != uint32_t(platform::HiveValue::Type::String))
        throw ERegistryException("Invalid data type for '" + name + "'");
    return value->text;
}

}  // namespace

TVxaConfig::TVxaConfig() : TVxaConfig(platform::OpenCurrentUserHive()) {}

TVxaConfig::TVxaConfig(std::unique_ptr<platform::ConfigHive> hive) : hive_(std::move(hive))
{
    if (hive_->OpenKey(MainKey, false)) {
        hive_->CloseKey();
        return;
    }
    // One change: a client killed during the first run leaves no main key
    // without its lists (which a later start would take as complete).
    hive_->BeginUpdate();
    hive_->OpenKey(MainKey, true);
    hive_->CloseKey();
    for (int list = 1; list <= 12; ++list) {
        hive_->OpenKey(ListKeyPath(list), true);
        hive_->WriteDword("Count", 0);
        hive_->CloseKey();
    }
    hive_->EndUpdate();
}

std::string TVxaConfig::ListKeyPath(int list)
{
    if (list < 1 || list > 12)
        throw std::out_of_range("configuration list " + std::to_string(list) + " does not exist");
    return std::string(MainKey) + "\\" + ListKeys[list - 1];
}

int TVxaConfig::ReadCount(int list)
{
    const auto count = hive_->ReadValue("Count");
    if (!count)
        throw ERegistryException("Failed to get data for 'Count': " + ListKeyPath(list) + " holds no count");
    if (count->type != uint32_t(platform::HiveValue::Type::Dword))
        throw ERegistryException("Invalid data type for 'Count' in " + ListKeyPath(list));
    return int(count->number);
}

int TVxaConfig::ItemCount(int list)
{
    OpenedKey key(*hive_, ListKeyPath(list));
    return ReadCount(list);
}

std::string TVxaConfig::ReadItem(int n, int list)
{
    OpenedKey key(*hive_, ListKeyPath(list));
    const std::string name = std::to_string(n);
    return StringItem(hive_->ReadValue(name), name);
}

void TVxaConfig::WriteItem(int n, int list, const std::string& value)
{
    OpenedKey key(*hive_, ListKeyPath(list));
    hive_->WriteString(std::to_string(n), value);
    key.Close();
}

int TVxaConfig::AddItem(const std::string& value, int list)
{
    OpenedKey key(*hive_, ListKeyPath(list));
    const int count = ReadCount(list) + 1;
    hive_->WriteDword("Count", uint32_t(count));
    hive_->WriteString(std::to_string(count), value);
    key.Close();
    return count;
}

std::string TVxaConfig::ReadValue(const std::string& name)
{
    OpenedKey key(*hive_, MainKey);
    return StringItem(hive_->ReadValue(name), name);
}

void TVxaConfig::WriteValue(const std::string& name, const std::string& value)
{
    OpenedKey key(*hive_, MainKey);
    hive_->WriteString(name, value);
    key.Close();
}

ConfigChange::ConfigChange(TVxaConfig& config) : config_(config)
{
    if (config_.changeDepth_++ == 0)
        config_.hive_->BeginUpdate();
}

ConfigChange::~ConfigChange()
{
    if (!open_)
        return;
    // Left by an error: the whole change is dropped, however deep this one is.
    if (config_.changeDepth_ > 0)
        config_.hive_->CancelUpdate();
    config_.changeDepth_ = 0;
}

void ConfigChange::Commit()
{
    open_ = false;
    if (config_.changeDepth_ > 0 && --config_.changeDepth_ == 0)
        config_.hive_->EndUpdate();
}
