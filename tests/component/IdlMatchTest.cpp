// The interface description src/module/tarvex.idl against what the library
// builds from it by hand: the dispatch table (names, identifiers, kinds,
// arguments), the C++ declaration's table slots, and the identifiers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "component/DispatchTable.h"
#include "module/Registration.h"
#include "tarvex/tarvex.h"

using tarvex::ArgType;
using tarvex::DispatchMember;
using tarvex::DispatchTable;
using tarvex::MemberKind;
using tarvex::Registration;

namespace {

struct IdlMember {
    std::string attrs, name, params;
};

std::string readIdl() {
    std::ifstream in(std::string(TARVEX_SOURCE_DIR) + "/src/module/tarvex.idl");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return std::regex_replace(text, std::regex("//[^\n]*"), "");
}

// "[attributes] HRESULT Name(parameters);" in the interface body; quoted help
// texts may hold brackets and parentheses.
std::vector<IdlMember> parseInterface(const std::string& idl) {
    std::vector<IdlMember> members;
    const size_t open = idl.find('{', idl.find("interface ITarvex : IDispatch"));
    if (open == std::string::npos) return members;
    const std::string body = idl.substr(open + 1, idl.find("};", open) - open - 1);
    static const std::regex member(R"re(\[((?:[^\]"]|"[^"]*")*)\]\s*HRESULT\s+(\w+)\s*\(([^)]*)\)\s*;)re");
    for (std::sregex_iterator it(body.begin(), body.end(), member), end; it != end; ++it)
        members.push_back({(*it)[1], (*it)[2], (*it)[3]});
    return members;
}

// The first group of `pattern` in `text`, or "".
std::string found(const std::string& text, const char* pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string();
}

ArgType typeOf(const std::string& idlType) {
    if (idlType == "BSTR") return ArgType::String;
    if (idlType == "long") return ArgType::Long;
    if (idlType == "VARIANT") return ArgType::Variant;
    if (idlType == "ITarvex*") return ArgType::Object;
    if (idlType == "IUnknown*") return ArgType::Unknown;
    ADD_FAILURE() << "unexpected IDL type " << idlType;
    return ArgType::None;
}

// The uuid(...) in the attribute block just before `what`, in braces as the registry writes it.
std::string uuidBefore(const std::string& idl, const std::string& what) {
    size_t at = idl.find(what);
    if (at == std::string::npos) return "?";
    size_t u = idl.rfind("uuid(", at);
    std::string id = idl.substr(u + 5, idl.find(')', u) - u - 5);
    for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "{" + id + "}";
}

}  // namespace

TEST(IdlMatch, DispatchTableAndDeclarationFollowTheIdl) {
    const std::vector<IdlMember> idl = parseInterface(readIdl());
    ASSERT_EQ(idl.size(), 92u);
    ASSERT_EQ(DispatchTable::count(), 92);
    const DispatchMember* table = DispatchTable::members();
    for (size_t i = 0; i < idl.size(); ++i) {
        const IdlMember& m = idl[i];
        const DispatchMember& d = table[i];
        SCOPED_TRACE(m.name + " at slot " + std::to_string(i + 7));
        EXPECT_EQ(m.name, d.name);
        EXPECT_EQ(std::stoul(found(m.attrs, R"(\bid\((\w+)\))"), nullptr, 16), static_cast<unsigned long>(d.dispid));
        // Every member has a real help string (the member reference is made from them).
        const std::string help = found(m.attrs, R"re(helpstring\("([^"]*)"\))re");
        EXPECT_GT(help.size(), 18u);
        EXPECT_NE(help.rfind("method ", 0), 0u);
        EXPECT_NE(help.rfind("property ", 0), 0u);
        const std::string flags = std::regex_replace(m.attrs, std::regex(R"re(helpstring\("[^"]*"\))re"), "");
        const MemberKind kind = std::regex_search(flags, std::regex(R"(\bpropget\b)"))   ? MemberKind::PropertyGet
                                : std::regex_search(flags, std::regex(R"(\bpropput\b)")) ? MemberKind::PropertyPut
                                                                                      : MemberKind::Method;
        EXPECT_EQ(static_cast<int>(kind), static_cast<int>(d.kind));

        std::string names;
        int inCount = 0;
        ArgType result = ArgType::None;
        static const std::regex param(R"re(\s*\[([^\]]*)\]\s*([^,]*?)\s*(\w+)\s*(,|$))re");
        for (std::sregex_iterator it(m.params.begin(), m.params.end(), param), end; it != end; ++it) {
            std::string type = (*it)[2];
            type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
            if ((*it)[1] == "in") {
                ASSERT_LT(inCount, DispatchMember::kMaxArgs);
                EXPECT_EQ(static_cast<int>(typeOf(type)), static_cast<int>(d.argTypes[inCount]));
                names += (inCount ? "," : "") + (*it)[3].str();
                ++inCount;
            } else {
                EXPECT_EQ((*it)[1], "out, retval");
                EXPECT_EQ((*it)[4], "");  // the result comes last
                result = typeOf(type.substr(0, type.size() - 1));
            }
        }
        EXPECT_EQ(inCount, d.argCount);
        EXPECT_EQ(names, d.argNames);
        EXPECT_EQ(static_cast<int>(result), static_cast<int>(d.resultType));
        // The thunk calls through this slot; -1 only where member-pointer
        // layout is unknown to the table.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
        EXPECT_EQ(d.vtableSlot(), static_cast<int>(i) + 7);
#endif
    }
}

TEST(IdlMatch, IdentifiersFollowTheIdl) {
    const std::string idl = readIdl();
    EXPECT_EQ(uuidBefore(idl, "interface ITarvex : IDispatch"), Registration::guidText(IID_ITarvex));
    EXPECT_EQ(uuidBefore(idl, "library TARVEXLib"), Registration::guidText(LIBID_TARVEXLib));
    EXPECT_EQ(uuidBefore(idl, "coclass Tarvex"), Registration::guidText(CLSID_Tarvex));
}
