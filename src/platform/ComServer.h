// The platform seam for an in-process server: the library file the code was
// loaded from, and the classes root of the system registry (HKEY_CLASSES_ROOT
// on Windows). Paths and values are UTF-8; key paths use '\' between names.
// Results are 0 or the system's error code. Where the platform has no
// registry (POSIX) every registry call answers kNoRegistry.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {
namespace platform {

constexpr uint32_t kNoRegistry = 120;  // ERROR_CALL_NOT_IMPLEMENTED

// The full path of the library (or program) holding this code.
bool modulePath(std::string& outUtf8);

// Creates the key and any missing parents (an existing key is kept).
uint32_t registryCreateKey(const std::string& path);
// Sets a string value; an empty `name` means the key's default value.
uint32_t registrySetString(const std::string& path, const std::string& name, const std::string& value);
uint32_t registryDeleteValue(const std::string& path, const std::string& name);
// Deletes the key with all its subkeys and values.
uint32_t registryDeleteTree(const std::string& path);
// Deletes the key only when it holds neither subkeys nor values.
uint32_t registryDeleteKeyIfEmpty(const std::string& path);

}  // namespace platform
}  // namespace tarvex
