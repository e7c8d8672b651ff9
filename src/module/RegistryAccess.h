// RegistryAccess: the registry operations registration needs, on the classes
// root. SystemRegistry is the real one; tests use a registry in memory.
// Results are 0 or a system error code (2 when a key or value is absent).
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {

class RegistryAccess {
public:
    virtual ~RegistryAccess() = default;
    virtual uint32_t createKey(const std::string& path) = 0;
    // An empty `name` is the key's default value.
    virtual uint32_t setString(const std::string& path, const std::string& name, const std::string& value) = 0;
    virtual uint32_t deleteValue(const std::string& path, const std::string& name) = 0;
    virtual uint32_t deleteTree(const std::string& path) = 0;
    // Deletes the key when it has neither subkeys nor values (0 also when kept).
    virtual uint32_t deleteKeyIfEmpty(const std::string& path) = 0;
};

}  // namespace tarvex
