// Registration: the module's registration script and its two modes.
//
// The script is a fixed list of keys under the classes root with their
// values; "%MODULE%" stands for the module file's full path. Registering
// writes it (keys marked as removed whole are replaced whole); unregistering
// deletes what registering wrote, keys marked as removed whole recursively,
// other keys only once nothing else is left in them, and never the shared
// "CLSID" key.
#pragma once

#include <string>

#include "tarvex/automation.h"

namespace tarvex {

class RegistryAccess;

class Registration {
public:
    enum class Removal { Normal, Whole, Never };

    struct Entry {
        const char* key;        // "%CLSID%" and "%LIBID%" stand for the identifiers
        const char* valueName;  // null: the key only; "": its default value
        const char* value;      // may hold "%MODULE%", "%CLSID%", "%LIBID%"
        Removal removal;
    };

    // The script, parents before children.
    static const Entry* entries();
    static int entryCount();

    // Writes the script with `modulePath`. On a failure, what was written is
    // removed again and the first failing status returned.
    static HRESULT registerEntries(RegistryAccess& registry, const std::string& modulePath);
    // Deletes the script's keys; returns the first failing status (an entry
    // that is already gone is no failure) after trying all of them.
    static HRESULT unregisterEntries(RegistryAccess& registry);

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
    static std::string guidText(REFGUID guid);
    // An entry's text with the placeholders replaced.
    static std::string expand(const char* text, const std::string& modulePath);
};

}  // namespace tarvex
