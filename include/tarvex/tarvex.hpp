// tarvex.hpp: a small C++ layer over ITarvex for native programs.
//
//   tarvex::Tarvex doc = tarvex::Tarvex::create();
//   if (!doc || !doc.loadXml("<a><b>x</b></a>")) { /* doc.lastErrorText() */ }
//   std::string x = doc.childContent("b");        // "x"
//   doc.newChild("c", "caf\xC3\xA9");            // UTF-8 in ...
//   std::string xml = doc.getXml();              // ... and out
//
// `Tarvex` owns one reference to an ITarvex object (copying adds one, moving
// transfers it). Every string goes in and comes out as UTF-8; failures show
// as false, an empty string or an empty (false) object, and in the call log
// (lastErrorText()). Members not wrapped here are reached with operator->.
// Header-only; link the tarvex library.
#ifndef TARVEX_TARVEX_HPP
#define TARVEX_TARVEX_HPP

#include <cstdint>
#include <string>
#include <utility>

#include "tarvex/tarvex.h"

namespace tarvex {

// A new BSTR holding the UTF-8 text (invalid bytes become U+FFFD); the caller
// frees it with SysFreeString.
inline BSTR toBstr(const std::string& utf8) {
    std::basic_string<OLECHAR> wide;
    wide.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        uint32_t c = s[i];
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 4;
        if (extra == 0) {
            wide.push_back(static_cast<OLECHAR>(c));
            ++i;
            continue;
        }
        if (extra == 4 || i + extra >= n) {  // not a lead byte, or cut short
            wide.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        c &= (0x3Fu >> extra);
        bool ok = true;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            wide.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            wide.push_back(static_cast<OLECHAR>(0xD800 + (c >> 10)));
            wide.push_back(static_cast<OLECHAR>(0xDC00 + (c & 0x3FF)));
        } else {
            wide.push_back(static_cast<OLECHAR>(c));
        }
        i += extra + 1;
    }
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The UTF-8 form of a BSTR (empty for null); unpaired surrogates become U+FFFD.
inline std::string fromBstr(BSTR b) {
    std::string out;
    const UINT n = b ? SysStringLen(b) : 0;
    out.reserve(n);
    for (UINT i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint16_t>(b[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && b[i + 1] >= 0xDC00 && b[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(b[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// An owned BSTR argument made from UTF-8 text.
class BstrArg {
public:
    explicit BstrArg(const std::string& utf8) : b_(toBstr(utf8)) {}
    ~BstrArg() { SysFreeString(b_); }
    BstrArg(const BstrArg&) = delete;
    BstrArg& operator=(const BstrArg&) = delete;
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

class Tarvex {
public:
    Tarvex() = default;
    // Takes over one reference held by the caller.
    explicit Tarvex(ITarvex* adopt) noexcept : p_(adopt) {}
    Tarvex(const Tarvex& other) noexcept : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    Tarvex(Tarvex&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Tarvex& operator=(Tarvex other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Tarvex() {
        if (p_) p_->Release();
    }

    // A new object (on a one-node tree whose root is "unnamed") through the
    // module's class factory; empty when it cannot be made.
    static Tarvex create() {
        IClassFactory* factory = nullptr;
        if (FAILED(DllGetClassObject(CLSID_Tarvex, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
            return Tarvex();
        ITarvex* object = nullptr;
        factory->CreateInstance(nullptr, IID_ITarvex, reinterpret_cast<void**>(&object));
        factory->Release();
        return Tarvex(object);
    }

    explicit operator bool() const { return p_ != nullptr; }
    ITarvex* get() const { return p_; }
    ITarvex* operator->() const { return p_; }
    // Hands the reference to the caller.
    ITarvex* detach() { return std::exchange(p_, nullptr); }

    // Documents
    bool loadXml(const std::string& xml) { return longOf(&ITarvex::LoadXml, xml); }
    bool loadXmlFile(const std::string& path) { return longOf(&ITarvex::LoadXmlFile, path); }
    bool saveXml(const std::string& path) { return longOf(&ITarvex::SaveXml, path); }
    std::string getXml() const { return textOf(&ITarvex::GetXml); }
    std::string encoding() const { return textOf(&ITarvex::get_Encoding); }

    // The current node
    std::string tag() const { return textOf(&ITarvex::get_Tag); }
    void setTag(const std::string& tag) { p_->put_Tag(BstrArg(tag)); }
    std::string content() const { return textOf(&ITarvex::get_Content); }
    void setContent(const std::string& content) { p_->put_Content(BstrArg(content)); }
    int numChildren() const {
        LONG n = 0;
        p_->get_NumChildren(&n);
        return n;
    }
    std::string attr(const std::string& name) const {
        BSTR value = nullptr;
        p_->GetAttrValue(BstrArg(name), &value);
        return take(value);
    }
    // Sets the attribute, replacing any of the same name.
    void setAttr(const std::string& name, const std::string& value) {
        p_->UpdateAttribute(BstrArg(name), BstrArg(value));
    }

    // Children and other nodes (each a new object; empty when there is none)
    Tarvex child(int index) const {
        ITarvex* out = nullptr;
        p_->GetChild(index, &out);
        return Tarvex(out);
    }
    Tarvex childWithTag(const std::string& tag) const {
        ITarvex* out = nullptr;
        p_->GetChildWithTag(BstrArg(tag), &out);
        return Tarvex(out);
    }
    Tarvex parent() const { return objectOf(&ITarvex::GetParent); }
    Tarvex root() const { return objectOf(&ITarvex::GetRoot); }
    Tarvex newChild(const std::string& tag, const std::string& content = std::string()) {
        ITarvex* out = nullptr;
        p_->NewChild(BstrArg(tag), BstrArg(content), &out);
        return Tarvex(out);
    }
    std::string childContent(const std::string& tag) const {
        BSTR value = nullptr;
        p_->GetChildContent(BstrArg(tag), &value);
        return take(value);
    }
    // Sets the first child with that tag, or adds one.
    void updateChildContent(const std::string& tag, const std::string& value) {
        p_->UpdateChildContent(BstrArg(tag), BstrArg(value));
    }

    // The call log of the previous call, as text.
    std::string lastErrorText() const { return textOf(&ITarvex::get_LastErrorText); }

private:
    static std::string take(BSTR b) {
        std::string s = fromBstr(b);
        SysFreeString(b);
        return s;
    }
    std::string textOf(HRESULT (STDMETHODCALLTYPE ITarvex::*member)(BSTR*)) const {
        BSTR b = nullptr;
        (p_->*member)(&b);
        return take(b);
    }
    bool longOf(HRESULT (STDMETHODCALLTYPE ITarvex::*member)(BSTR, LONG*), const std::string& arg) {
        LONG ok = 0;
        (p_->*member)(BstrArg(arg), &ok);
        return ok != 0;
    }
    Tarvex objectOf(HRESULT (STDMETHODCALLTYPE ITarvex::*member)(ITarvex**)) const {
        ITarvex* out = nullptr;
        (p_->*member)(&out);
        return Tarvex(out);
    }

    ITarvex* p_ = nullptr;
};

}  // namespace tarvex

#endif  // TARVEX_TARVEX_HPP
