// The interface description src/module/tarvex.idl against what the library
// builds from it by hand: the dispatch table (names, identifiers, kinds,
// arguments), the C++ declaration's table slots, and the identifiers.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component/DispatchTable.h"
#include "tarvex/tarvex.h"

using tarvex::ArgType;
using tarvex::DispatchMember;
using tarvex::DispatchTable;
using tarvex::MemberKind;

namespace {

struct IdlParam {
    std::string attrs;
    std::string type;
    std::string name;
};

struct IdlMember {
    std::string attrs;
    std::string name;
    std::vector<IdlParam> params;
};

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string readIdl() {
    std::ifstream in(std::string(TARVEX_SOURCE_DIR) + "/src/module/tarvex.idl");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Drop // comments.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
        }
        if (i < text.size()) out += text[i];
    }
    return out;
}

// Splits "a, b(c, d), "e, f"" at the commas outside brackets and quotes.
std::vector<std::string> splitTop(const std::string& s) {
    std::vector<std::string> parts;
    std::string cur;
    int depth = 0;
    bool quoted = false;
    for (char c : s) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '(' || c == '[')) ++depth;
        if (!quoted && (c == ')' || c == ']')) --depth;
        if (c == ',' && depth == 0 && !quoted) {
            parts.push_back(trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!trim(cur).empty()) parts.push_back(trim(cur));
    return parts;
}

std::vector<IdlMember> parseInterface(const std::string& idl) {
    std::vector<IdlMember> members;
    size_t start = idl.find("interface ITarvex : IDispatch");
    if (start == std::string::npos) return members;
    size_t open = idl.find('{', start);
    size_t close = idl.find("};", open);
    std::string body = idl.substr(open + 1, close - open - 1);
    size_t pos = 0;
    for (;;) {
        size_t semi = body.find(';', pos);
        if (semi == std::string::npos) break;
        std::string stmt = trim(body.substr(pos, semi - pos));
        pos = semi + 1;
        IdlMember m;
        size_t attrEnd = stmt.find(']');
        m.attrs = stmt.substr(1, attrEnd - 1);
        std::string rest = trim(stmt.substr(attrEnd + 1));
        EXPECT_EQ(rest.rfind("HRESULT ", 0), 0u) << rest;
        size_t paren = rest.find('(');
        m.name = trim(rest.substr(8, paren - 8));
        std::string params = rest.substr(paren + 1, rest.rfind(')') - paren - 1);
        for (const std::string& p : splitTop(params)) {
            IdlParam param;
            size_t e = p.find(']');
            param.attrs = p.substr(1, e - 1);
            std::string decl = trim(p.substr(e + 1));
            size_t sp = decl.find_last_of(" *");
            param.type = trim(decl.substr(0, sp + 1));
            param.name = decl.substr(sp + 1);
            std::string compact;
            for (char c : param.type)
                if (c != ' ') compact += c;
            param.type = compact;
            m.params.push_back(param);
        }
        members.push_back(m);
    }
    return members;
}

// The value of attribute `key(...)` in an attribute list, or "".
std::string attrValue(const std::string& attrs, const std::string& key) {
    for (const std::string& a : splitTop(attrs))
        if (a.rfind(key + "(", 0) == 0) return a.substr(key.size() + 1, a.size() - key.size() - 2);
    return std::string();
}

bool hasAttr(const std::string& attrs, const std::string& key) {
    for (const std::string& a : splitTop(attrs))
        if (a == key) return true;
    return false;
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

std::string guidText(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

// The uuid(...) in the attribute block just before `what`.
std::string uuidBefore(const std::string& idl, const std::string& what) {
    size_t at = idl.find(what);
    if (at == std::string::npos) return "?";
    size_t u = idl.rfind("uuid(", at);
    std::string id = idl.substr(u + 5, idl.find(')', u) - u - 5);
    for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return id;
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
        EXPECT_EQ(std::stoul(attrValue(m.attrs, "id"), nullptr, 16), static_cast<unsigned long>(d.dispid));
        const MemberKind kind = hasAttr(m.attrs, "propget")   ? MemberKind::PropertyGet
                                : hasAttr(m.attrs, "propput") ? MemberKind::PropertyPut
                                                              : MemberKind::Method;
        EXPECT_EQ(static_cast<int>(kind), static_cast<int>(d.kind));
        // Every member has a real help string (the member reference is made from them).
        const std::string help = attrValue(m.attrs, "helpstring");
        EXPECT_GT(help.size(), 20u);
        EXPECT_EQ(help.find("\"method "), std::string::npos);
        EXPECT_EQ(help.find("\"property "), std::string::npos);

        std::string names;
        int inCount = 0;
        ArgType result = ArgType::None;
        for (const IdlParam& p : m.params) {
            if (p.attrs == "in") {
                ASSERT_LT(inCount, DispatchMember::kMaxArgs);
                EXPECT_EQ(static_cast<int>(typeOf(p.type)), static_cast<int>(d.argTypes[inCount]));
                names += (inCount ? "," : "") + p.name;
                ++inCount;
            } else {
                EXPECT_EQ(p.attrs, "out, retval");
                EXPECT_EQ(&p, &m.params.back());  // the result comes last
                result = typeOf(p.type.substr(0, p.type.size() - 1));
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
    EXPECT_EQ(uuidBefore(idl, "interface ITarvex : IDispatch"), guidText(IID_ITarvex));
    EXPECT_EQ(uuidBefore(idl, "library TARVEXLib"), guidText(LIBID_TARVEXLib));
    EXPECT_EQ(uuidBefore(idl, "coclass Tarvex"), guidText(CLSID_Tarvex));
}
