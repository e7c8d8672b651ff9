// IDispatch as a script engine uses it: names to identifiers once, then
// Invoke with VARIANT arguments.
#include <string>
#include <vector>

#include "ComponentSupport.h"

using namespace tarvex_test;

namespace {

VARIANT str(const std::string& s) {
    VARIANT v = variantOf(VT_BSTR);
    v.bstrVal = tarvex::toBstr(s);
    return v;
}

VARIANT i4(LONG n) {
    VARIANT v = variantOf(VT_I4);
    v.lVal = n;
    return v;
}

class Script {
public:
    explicit Script(ITarvex* object) : d_(object) {}

    DISPID id(const char16_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(name))};
        DISPID dispid = 12345;
        EXPECT_EQ(d_->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid), S_OK);
        return dispid;
    }

    // Arguments in declaration order; they are cleared afterwards.
    HRESULT call(const char16_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result = nullptr,
                 UINT* argErr = nullptr, bool namedPut = true) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        if ((flags & DISPATCH_PROPERTYPUT) && namedPut) {
            params.rgdispidNamedArgs = &put;
            params.cNamedArgs = 1;
        }
        HRESULT hr = d_->Invoke(id(name), IID_NULL, 0, flags, &params, result, nullptr, argErr);
        for (VARIANT& v : args) VariantClear(&v);
        return hr;
    }

    std::string text(const char16_t* name, std::vector<VARIANT> args = {}) {
        VARIANT r;
        VariantInit(&r);
        EXPECT_EQ(call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), &r), S_OK);
        EXPECT_EQ(r.vt, VT_BSTR);
        std::string s = r.vt == VT_BSTR ? tarvex::fromBstr(r.bstrVal) : "?";
        VariantClear(&r);
        return s;
    }

private:
    ITarvex* d_;
};

}  // namespace

TEST(DispatchEngine, NamesAndIdentifiers) {
    Tarvex t = newObject();
    Script s(t.get());
    EXPECT_EQ(s.id(u"getchildcontent"), 0x8);
    EXPECT_EQ(s.id(u"LASTERRORTEXT"), 0x55);
    EXPECT_EQ(s.id(u"OnStartPage"), 0x60020000);

    LPOLESTR names[] = {const_cast<LPOLESTR>(OLESTR("NewChild")), const_cast<LPOLESTR>(OLESTR("content")),
                        const_cast<LPOLESTR>(OLESTR("nope"))};
    DISPID ids[3] = {};
    EXPECT_EQ(t->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 0x1e);
    EXPECT_EQ(ids[1], 1);  // argument position
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(OLESTR("GetChildContents"))};
    EXPECT_EQ(t->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(t->GetIDsOfNames(IID_ITarvex, unknown, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

// Without a type library (this build) the object says it has no type
// information, and GetTypeInfo agrees.
TEST(DispatchEngine, NoTypeInformationWithoutTypeLibrary) {
    Tarvex t = newObject();
    UINT count = 7;
    EXPECT_EQ(t->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(t->GetTypeInfoCount(nullptr), E_POINTER);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
    EXPECT_EQ(t->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(t->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST(DispatchEngine, ScriptStyleCalls) {
    Tarvex t = newObject();
    Script s(t.get());
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(s.call(u"LoadXml", DISPATCH_METHOD, {str("<r><a>1</a><b>caf\xC3\xA9</b></r>")}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 1);
    EXPECT_EQ(s.text(u"GetChildContent", {str("b")}), "caf\xC3\xA9");

    // Property write with and without the named DISPID_PROPERTYPUT argument.
    EXPECT_EQ(s.call(u"Tag", DISPATCH_PROPERTYPUT, {str("root")}), S_OK);
    EXPECT_EQ(t.tag(), "root");
    EXPECT_EQ(s.call(u"Cdata", DISPATCH_PROPERTYPUT, {i4(1)}, nullptr, nullptr, false), S_OK);
    EXPECT_EQ(s.call(u"Cdata", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 1);

    // Arguments by reference, as script engines pass variables.
    VARIANT tag = str("a");
    VARIANT ref = variantOf(VT_BYREF | VT_VARIANT);
    ref.pvarVal = &tag;
    EXPECT_EQ(s.text(u"GetChildContent", {ref}), "1");
    VariantClear(&tag);

    // Conversions: a boolean to an integer, an integer to a string.
    VARIANT yes = variantOf(VT_BOOL);
    yes.boolVal = VARIANT_TRUE;
    VARIANT match;
    VariantInit(&match);
    ASSERT_EQ(s.call(u"ChildContentMatches", DISPATCH_METHOD, {str("b"), str("CAF*"), yes}, &match), S_OK);
    EXPECT_EQ(match.lVal, 0);  // case-sensitive (true = -1 is non-zero)
    EXPECT_EQ(s.call(u"AddAttribute", DISPATCH_METHOD, {str("n"), i4(42)}), S_OK);
    EXPECT_EQ(t.attr("n"), "42");
}

TEST(DispatchEngine, CallErrors) {
    Tarvex t = newObject();
    Script s(t.get());
    VARIANT r;
    VariantInit(&r);
    UINT argErr = 99;
    EXPECT_EQ(s.call(u"GetChild", DISPATCH_METHOD, {}, &r), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(s.call(u"GetChild", DISPATCH_METHOD, {i4(0), i4(1)}, &r), DISP_E_BADPARAMCOUNT);

    VARIANT array = variantOf(VT_ARRAY | VT_UI1);
    array.parray = SafeArrayCreateVector(VT_UI1, 0, 1);
    EXPECT_EQ(s.call(u"SortByAttribute", DISPATCH_METHOD, {str("k"), array}, &r, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);  // rgvarg index: the last argument comes first
    EXPECT_EQ(s.call(u"SwapNode", DISPATCH_METHOD, {str("x")}, &r, &argErr), DISP_E_TYPEMISMATCH);

    // An object without ITarvex is a mismatch.
    IClassFactory* f = nullptr;
    DllGetClassObject(CLSID_Tarvex, IID_IClassFactory, reinterpret_cast<void**>(&f));
    VARIANT factoryArg = variantOf(VT_UNKNOWN);
    factoryArg.punkVal = f;  // released when the arguments are cleared
    EXPECT_EQ(s.call(u"AddChildTree", DISPATCH_METHOD, {factoryArg}, &r, &argErr), DISP_E_TYPEMISMATCH);

    // Wrong kind of access, unknown identifiers.
    EXPECT_EQ(s.call(u"Version", DISPATCH_PROPERTYPUT, {str("6")}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(s.call(u"GetXml", DISPATCH_PROPERTYGET, {}, &r), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(s.call(u"GetXml", DISPATCH_PROPERTYPUT, {str("6")}), DISP_E_MEMBERNOTFOUND);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(t->Invoke(0x25, IID_NULL, 0, DISPATCH_METHOD, &none, &r, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(t->Invoke(0x7, IID_ITarvex, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // Named arguments of a method, in any order.
    VARIANT args[2] = {str("v"), str("t")};
    DISPID named[2] = {1, 0};  // Content, Tag
    DISPPARAMS params = {args, named, 2, 2};
    ASSERT_EQ(t->Invoke(0x1e, IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, nullptr), S_OK);
    VariantClear(&r);
    EXPECT_EQ(t.childContent("t"), "v");
    named[1] = 1;
    EXPECT_EQ(t->Invoke(0x1e, IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, &argErr), DISP_E_PARAMNOTFOUND);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
}
