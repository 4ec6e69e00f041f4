// The registry of the current user as a configuration hive (Windows only).
#pragma once

#include <memory>

#include "platform/config_hive.h"

namespace platform {

std::unique_ptr<ConfigHive> OpenRegistryHive();

}  // namespace platform
