// The configuration store: installed worlds, the selected world and the last login choices.
//
// Layout below the current user's hive, key "\Software\VxaClient":
//   "LastIP", "FullScreen"      string values in the main key
//   twelve list keys (ListKeys)  each a "Count" (32-bit) and items "1".."Count" (strings)
// Lists 3, 11 and 12 are parallel: item n of each describes installed world n.
// Item 1 of list 10 ("Worlds") is the number of the selected world.
#pragma once

#include <memory>
#include <string>

#include "platform/config_hive.h"

// List numbers, as the callers name them.
constexpr int kListWorldTypes = 3;
constexpr int kListWorlds = 10;
constexpr int kListWorldDirectories = 11;
constexpr int kListWorldGamedats = 12;

class TVxaConfig {
public:
    static constexpr const char* MainKey = "\\Software\\VxaClient";
    // The list keys below the main key, numbered from 1 in this (creation) order.
    static constexpr const char* ListKeys[12] = {
        "Users", "Users\\Names", "Worlds\\Types", "Servers", "Servers\\IPs", "Servers\\WorldTypes",
        "Servers\\Versions", "Users\\Passwords", "Users\\Shapes", "Worlds", "Worlds\\Directories",
        "Worlds\\Gamedats"};

    // On the first run (no main key) creates the main key and the twelve lists
    // with "Count" = 0. An existing main key is taken as it is.
    TVxaConfig();
    // The same on a given hive (tests).
    explicit TVxaConfig(std::unique_ptr<platform::ConfigHive> hive);

    // The list's "Count". Raises ERegistryException when the list key or its
    // "Count" is missing, or when "Count" is not a 32-bit integer.
    int ItemCount(int list);
    // Item n of the list; absent item or list reads as empty. A non-string item
    // raises ERegistryException.
    std::string ReadItem(int n, int list);
    // Writes item n without changing "Count"; a missing list key raises.
    void WriteItem(int n, int list, const std::string& value);
    // Appends an item: "Count" + 1, then the item; returns the new count.
    int AddItem(const std::string& value, int list);
    // Named string values of the main key; absent reads as empty.
    std::string ReadValue(const std::string& name);
    void WriteValue(const std::string& name, const std::string& value);

    static std::string ListKeyPath(int list);

private:
    friend class ConfigChange;
    int ReadCount(int list);
    std::unique_ptr<platform::ConfigHive> hive_;
    int changeDepth_ = 0;
};

// The process-wide configuration store, created and freed with the other
// process-wide objects by the start-up step.
extern std::unique_ptr<TVxaConfig> VxaConfig;

// Makes the store's writes from here to Commit one change that lasts as a
// whole: a client killed in between, or an error before Commit, leaves none of
// them (on Windows the registry writes each value at once). Changes nest; the
// outermost Commit makes them lasting.
class ConfigChange {
public:
    explicit ConfigChange(TVxaConfig& config);
    ~ConfigChange();
    void Commit();

private:
    TVxaConfig& config_;
    bool open_ = true;
};
