// SystemRegistry: RegistryAccess on the system's own classes root.
#pragma once

#include "module/RegistryAccess.h"

namespace tarvex {

class SystemRegistry final : public RegistryAccess {
public:
    uint32_t createKey(const std::string& path) override;
    uint32_t setString(const std::string& path, const std::string& name, const std::string& value) override;
    uint32_t deleteValue(const std::string& path, const std::string& name) override;
    uint32_t deleteTree(const std::string& path) override;
    uint32_t deleteKeyIfEmpty(const std::string& path) override;
};

}  // namespace tarvex
