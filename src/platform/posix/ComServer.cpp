// The in-process server seam on POSIX systems: the library path comes from
// the dynamic loader; there is no system registry.
#include "platform/ComServer.h"

#include <dlfcn.h>

namespace tarvex {
namespace platform {

bool modulePath(std::string& outUtf8) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || info.dli_fname == nullptr) return false;
    outUtf8 = info.dli_fname;
    return !outUtf8.empty();
}

uint32_t registryCreateKey(const std::string&) { return kNoRegistry; }
uint32_t registrySetString(const std::string&, const std::string&, const std::string&) { return kNoRegistry; }
uint32_t registryDeleteValue(const std::string&, const std::string&) { return kNoRegistry; }
uint32_t registryDeleteTree(const std::string&) { return kNoRegistry; }
uint32_t registryDeleteKeyIfEmpty(const std::string&) { return kNoRegistry; }

}  // namespace platform
}  // namespace tarvex
