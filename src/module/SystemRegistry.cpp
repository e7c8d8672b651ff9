#include "module/SystemRegistry.h"

#include "platform/ComServer.h"

namespace tarvex {

uint32_t SystemRegistry::createKey(const std::string& path) { return platform::registryCreateKey(path); }

uint32_t SystemRegistry::setString(const std::string& path, const std::string& name, const std::string& value) {
    return platform::registrySetString(path, name, value);
}

uint32_t SystemRegistry::deleteValue(const std::string& path, const std::string& name) {
    return platform::registryDeleteValue(path, name);
}

uint32_t SystemRegistry::deleteTree(const std::string& path) { return platform::registryDeleteTree(path); }

uint32_t SystemRegistry::deleteKeyIfEmpty(const std::string& path) {
    return platform::registryDeleteKeyIfEmpty(path);
}

}  // namespace tarvex
