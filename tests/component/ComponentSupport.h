// Helpers for driving the component the way its users do: objects come from
// the module's class factory, strings go in and out as BSTRs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "support/CommandRunner.h"
#include "support/VariantSupport.h"
#include "tarvex/tarvex.hpp"

namespace tarvex_test {

using tarvex::BstrArg;
using tarvex::Tarvex;

// A VT_ARRAY | VT_UI1 variant holding `bytes`; the caller clears it.
inline VARIANT byteArray(const std::string& bytes) {
    VARIANT v = variantOf(VT_ARRAY | VT_UI1);
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(v.parray);
    return v;
}

inline Tarvex newObject() {
    Tarvex object = Tarvex::create();
    EXPECT_TRUE(object);
    return object;
}

inline Tarvex loaded(const std::string& xml) {
    Tarvex object = newObject();
    EXPECT_TRUE(object.loadXml(xml)) << object.lastErrorText();
    return object;
}

// Takes a BSTR result: its UTF-8 text, and whether it was a null BSTR.
struct BstrResult {
    std::string text;
    bool isNull = false;
};
inline BstrResult take(BSTR b) {
    BstrResult r{tarvex::fromBstr(b), b == nullptr};
    SysFreeString(b);
    return r;
}

inline std::string logText(const Tarvex& object) { return object.lastErrorText(); }

// A member whose last parameter is its out-value, called with the arguments
// before it: the object, number or text it gives.
template <typename... P, typename... A>
Tarvex outObject(const Tarvex& t, HRESULT (STDMETHODCALLTYPE ITarvex::*member)(P...), A&&... args) {
    ITarvex* out = nullptr;
    (t.get()->*member)(std::forward<A>(args)..., &out);
    return Tarvex(out);
}
template <typename... P, typename... A>
LONG outLong(const Tarvex& t, HRESULT (STDMETHODCALLTYPE ITarvex::*member)(P...), A&&... args) {
    LONG out = -999;
    (t.get()->*member)(std::forward<A>(args)..., &out);
    return out;
}
template <typename... P, typename... A>
BstrResult outText(const Tarvex& t, HRESULT (STDMETHODCALLTYPE ITarvex::*member)(P...), A&&... args) {
    BSTR out = nullptr;
    (t.get()->*member)(std::forward<A>(args)..., &out);
    return take(out);
}
inline LONG treeId(const Tarvex& t) { return outLong(t, &ITarvex::get_TreeId); }

// The tags (or values of attribute `key`) of the children, walked forward
// with NextSibling and backward with PreviousSibling from LastChild; both
// walks must agree.
inline std::string children(const Tarvex& t, const std::string& key = std::string()) {
    auto label = [&key](const Tarvex& c) { return key.empty() ? c.tag() : c.attr(key); };
    std::string forward, backward;
    for (Tarvex c = outObject(t, &ITarvex::FirstChild); c; c = outObject(c, &ITarvex::NextSibling))
        forward += label(c) + ",";
    for (Tarvex c = outObject(t, &ITarvex::LastChild); c; c = outObject(c, &ITarvex::PreviousSibling))
        backward = label(c) + "," + backward;
    EXPECT_EQ(forward, backward);
    return forward;
}

// The text rendering of a log holding one context with these lines.
inline std::string oneContext(const std::string& name, std::initializer_list<std::string> lines = {}) {
    std::string text = "OstrandLog:\r\n  " + name + ":\r\n";
    for (const std::string& line : lines) text += "    " + line + "\r\n";
    return text;
}

inline std::string tempPath(const std::string& name) {
    return std::string(TARVEX_BINARY_DIR) + "/comp_test_" + name;
}

}  // namespace tarvex_test
