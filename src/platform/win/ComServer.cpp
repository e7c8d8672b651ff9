// The in-process server seam on Windows: the module's instance handle, its
// file path, and the classes root of the registry.
#include "platform/ComServer.h"

#include <windows.h>

#include <vector>

#include "platform/TypeLibrary.h"
#include "platform/win/WideText.h"

namespace {
HINSTANCE gInstance = nullptr;
}  // namespace

// The library's entry point. Thread notifications stay on: the C and C++
// runtimes are linked into the library and keep per-thread data.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        gInstance = instance;
    } else if (reason == DLL_PROCESS_DETACH) {
        // At process exit (reserved set) other modules may be gone already.
        if (reserved == nullptr) tarvex::platform::releaseModuleTypeLibrary();
        gInstance = nullptr;
    }
    return TRUE;
}

namespace tarvex {
namespace platform {

namespace {

HMODULE ownModule() {
    if (gInstance) return gInstance;
    // Linked into a program rather than loaded as a library.
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &module);
    return module;
}

uint32_t status(LONG code) { return static_cast<uint32_t>(code); }

}  // namespace

bool modulePath(std::string& outUtf8) {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(ownModule(), buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return false;
        if (n < buf.size()) {
            outUtf8 = utf8FromWide(buf.data(), n);
            return !outUtf8.empty();
        }
        if (buf.size() >= 32768) return false;
        buf.resize(buf.size() * 2);
    }
}

uint32_t registryCreateKey(const std::string& path) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return status(rc);
}

uint32_t registrySetString(const std::string& path, const std::string& name, const std::string& value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return status(rc);
    std::wstring wide = wideFromUtf8(value);
    rc = RegSetValueExW(key, name.empty() ? nullptr : wideFromUtf8(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wide.c_str()),
                        static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status(rc);
}

uint32_t registryDeleteValue(const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str(), 0, KEY_SET_VALUE, &key);
    if (rc != ERROR_SUCCESS) return status(rc);
    rc = RegDeleteValueW(key, name.empty() ? nullptr : wideFromUtf8(name).c_str());
    RegCloseKey(key);
    return status(rc);
}

uint32_t registryDeleteTree(const std::string& path) {
    if (path.empty()) return ERROR_INVALID_PARAMETER;  // never the whole root
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str());
    if (rc != ERROR_SUCCESS) return status(rc);
    // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
    rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str());
    return rc == ERROR_FILE_NOT_FOUND ? 0 : status(rc);
}

uint32_t registryDeleteKeyIfEmpty(const std::string& path) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str(), 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) return status(rc);
    DWORD subkeys = 0, values = 0;
    rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                          nullptr, nullptr);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return status(rc);
    if (subkeys != 0 || values != 0) return 0;  // kept: someone else uses it
    return status(RegDeleteKeyW(HKEY_CLASSES_ROOT, wideFromUtf8(path).c_str()));
}

}  // namespace platform
}  // namespace tarvex
