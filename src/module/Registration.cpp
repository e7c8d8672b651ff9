#include "module/Registration.h"

#include <cstdio>

#include "module/RegistryAccess.h"
#include "tarvex/tarvex.h"

namespace tarvex {

namespace {

constexpr uint32_t kNotFound = 2;  // ERROR_FILE_NOT_FOUND

const char kClassDescription[] = "Tarvex Class";

const Registration::Entry kScript[] = {
    {TARVEX_PROGID, "", kClassDescription, Registration::Removal::Normal},
    {TARVEX_PROGID "\\CLSID", "", "%CLSID%", Registration::Removal::Normal},
    {TARVEX_PROGID_INDEPENDENT, "", kClassDescription, Registration::Removal::Normal},
    {TARVEX_PROGID_INDEPENDENT "\\CLSID", "", "%CLSID%", Registration::Removal::Normal},
    {TARVEX_PROGID_INDEPENDENT "\\CurVer", "", TARVEX_PROGID, Registration::Removal::Normal},
    {"CLSID", nullptr, nullptr, Registration::Removal::Never},
    {"CLSID\\%CLSID%", "", kClassDescription, Registration::Removal::Whole},
    {"CLSID\\%CLSID%\\ProgID", "", TARVEX_PROGID, Registration::Removal::Normal},
    {"CLSID\\%CLSID%\\VersionIndependentProgID", "", TARVEX_PROGID_INDEPENDENT, Registration::Removal::Normal},
    {"CLSID\\%CLSID%\\Programmable", nullptr, nullptr, Registration::Removal::Whole},
    {"CLSID\\%CLSID%\\InprocServer32", "", "%MODULE%", Registration::Removal::Normal},
    {"CLSID\\%CLSID%\\InprocServer32", "ThreadingModel", "Apartment", Registration::Removal::Normal},
    {"CLSID\\%CLSID%\\TypeLib", "", "%LIBID%", Registration::Removal::Normal},
};

constexpr int kScriptLength = static_cast<int>(sizeof(kScript) / sizeof(kScript[0]));

HRESULT fromSystem(uint32_t code) {
    return code == 0 ? S_OK : static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

const Registration::Entry* Registration::entries() { return kScript; }

int Registration::entryCount() { return kScriptLength; }

std::string Registration::guidText(REFGUID g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3),
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string Registration::expand(const char* text, const std::string& modulePath) {
    std::string out = text ? text : "";
    replaceAll(out, "%CLSID%", guidText(CLSID_Tarvex));
    replaceAll(out, "%LIBID%", guidText(LIBID_TARVEXLib));
    replaceAll(out, "%MODULE%", modulePath);
    return out;
}

HRESULT Registration::registerEntries(RegistryAccess& registry, const std::string& modulePath) {
    for (const Entry& e : kScript) {
        const std::string key = expand(e.key, modulePath);
        uint32_t rc = 0;
        if (e.removal == Removal::Whole) {
            rc = registry.deleteTree(key);
            if (rc == kNotFound) rc = 0;
        }
        if (rc == 0) rc = registry.createKey(key);
        if (rc == 0 && e.valueName) rc = registry.setString(key, e.valueName, expand(e.value, modulePath));
        if (rc != 0) {
            unregisterEntries(registry);
            return fromSystem(rc);
        }
    }
    return S_OK;
}

HRESULT Registration::unregisterEntries(RegistryAccess& registry) {
    uint32_t first = 0;
    auto note = [&first](uint32_t rc) {
        if (rc != 0 && rc != kNotFound && first == 0) first = rc;
    };
    // Children before parents.
    for (int i = kScriptLength - 1; i >= 0; --i) {
        const Entry& e = kScript[i];
        const std::string key = expand(e.key, std::string());
        switch (e.removal) {
            case Removal::Never: break;
            case Removal::Whole: note(registry.deleteTree(key)); break;
            case Removal::Normal:
                if (e.valueName) note(registry.deleteValue(key, e.valueName));
                note(registry.deleteKeyIfEmpty(key));
                break;
        }
    }
    return fromSystem(first);
}

}  // namespace tarvex
