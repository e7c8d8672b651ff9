// The registration script against a registry kept in memory: exactly the
// keys and values written, keys marked as removed whole replaced whole,
// unregistration removing only what registration wrote (never "CLSID"), and
// a failed registration leaving nothing behind. The system registry itself
// is exercised by the Windows stage of the tests, under Wine.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "module/Registration.h"
#include "module/RegistryAccess.h"
#include "platform/ComServer.h"
#include "tarvex/tarvex.h"

using tarvex::Registration;

namespace {

constexpr uint32_t kNotFound = 2;

// Keys by full path, each with its values by name ("" names the default value).
class MemoryRegistry final : public tarvex::RegistryAccess {
public:
    std::map<std::string, std::map<std::string, std::string>> keys;
    std::string failOn;  // a key whose creation fails with access denied

    uint32_t createKey(const std::string& path) override {
        if (path == failOn) return 5;
        for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            keys[path.substr(0, at)];
        keys[path];
        return 0;
    }
    uint32_t setString(const std::string& path, const std::string& name, const std::string& value) override {
        if (!keys.count(path)) return kNotFound;
        keys[path][name] = value;
        return 0;
    }
    uint32_t deleteValue(const std::string& path, const std::string& name) override {
        return keys.count(path) && keys[path].erase(name) ? 0 : kNotFound;
    }
    static bool below(const std::string& key, const std::string& path) { return key.rfind(path + "\\", 0) == 0; }
    uint32_t deleteTree(const std::string& path) override {
        if (!keys.count(path)) return kNotFound;
        for (auto it = keys.begin(); it != keys.end();)
            it = it->first == path || below(it->first, path) ? keys.erase(it) : std::next(it);
        return 0;
    }
    uint32_t deleteKeyIfEmpty(const std::string& path) override {
        if (!keys.count(path)) return kNotFound;
        for (const auto& k : keys)
            if (below(k.first, path)) return 0;
        if (keys[path].empty()) keys.erase(path);
        return 0;
    }
    std::string dump() const {
        std::string out;
        for (const auto& k : keys) {
            out += k.first + "\n";
            for (const auto& v : k.second) out += "  " + v.first + "=" + v.second + "\n";
        }
        return out;
    }
};

const char kModule[] = "C:\\Program Files\\Tarvex\\tarvex.dll";
const std::string kClsid = "{3A573F1E-954B-4274-BF98-EAE8466B80B5}";

}  // namespace

TEST(Registration, WritesExactlyTheScript) {
    EXPECT_EQ(Registration::guidText(CLSID_Tarvex), kClsid);
    EXPECT_EQ(Registration::guidText(LIBID_TARVEXLib), "{43379FF1-E31B-4120-829C-47DD8E11E5E6}");
    MemoryRegistry registry;
    ASSERT_EQ(Registration::registerEntries(registry, kModule), S_OK);
    const std::string c = "CLSID\\" + kClsid;
    EXPECT_EQ(registry.dump(),
              "CLSID\n" +
              c + "\n  =Tarvex Class\n" +
              c + "\\InprocServer32\n  =" + kModule + "\n  ThreadingModel=Apartment\n" +
              c + "\\ProgID\n  =Tarvex.Tarvex.1\n" +
              c + "\\Programmable\n" +
              c + "\\TypeLib\n  ={43379FF1-E31B-4120-829C-47DD8E11E5E6}\n" +
              c + "\\VersionIndependentProgID\n  =Tarvex.Tarvex\n"
              "Tarvex.Tarvex\n  =Tarvex Class\n"
              "Tarvex.Tarvex.1\n  =Tarvex Class\n"
              "Tarvex.Tarvex.1\\CLSID\n  =" + kClsid + "\n"
              "Tarvex.Tarvex\\CLSID\n  =" + kClsid + "\n"
              "Tarvex.Tarvex\\CurVer\n  =Tarvex.Tarvex.1\n");
}

TEST(Registration, ReplacesTheClassKeyWholeAndUnregistersOnlyItsOwn) {
    MemoryRegistry registry;
    const std::string c = "CLSID\\" + kClsid;
    // Left over from an older registration, and somebody else's entries.
    registry.createKey(c + "\\InprocServer32\\Stale");
    registry.createKey("CLSID\\{00000000-1111-2222-3333-444444444444}");
    registry.createKey("Tarvex.Tarvex\\Theirs");
    ASSERT_EQ(Registration::registerEntries(registry, kModule), S_OK);
    EXPECT_FALSE(registry.keys.count(c + "\\InprocServer32\\Stale"));

    registry.createKey(c + "\\Programmable\\Extra");
    ASSERT_EQ(Registration::unregisterEntries(registry), S_OK);
    EXPECT_EQ(registry.dump(),
              "CLSID\n"
              "CLSID\\{00000000-1111-2222-3333-444444444444}\n"
              "Tarvex.Tarvex\n"
              "Tarvex.Tarvex\\Theirs\n");
    // Nothing left of ours: unregistering again is no failure.
    EXPECT_EQ(Registration::unregisterEntries(registry), S_OK);

    MemoryRegistry empty;
    EXPECT_EQ(Registration::unregisterEntries(empty), S_OK);
    EXPECT_TRUE(empty.keys.empty());
}

TEST(Registration, FailureRemovesWhatWasWritten) {
    MemoryRegistry registry;
    registry.failOn = "CLSID\\" + kClsid + "\\InprocServer32";
    EXPECT_EQ(Registration::registerEntries(registry, kModule), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(registry.dump(), "CLSID\n");
}

TEST(Registration, NoSystemRegistryHere) {
    // The POSIX build has no registry: the entry points say so instead of
    // pretending to register.
    EXPECT_EQ(DllRegisterServer(), static_cast<HRESULT>(0x80070000 | tarvex::platform::kNoRegistry));
    EXPECT_EQ(DllUnregisterServer(), static_cast<HRESULT>(0x80070000 | tarvex::platform::kNoRegistry));
    std::string path;
    EXPECT_TRUE(tarvex::platform::modulePath(path));
    EXPECT_FALSE(path.empty());
}
