#include "DispatchBridge.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "VariantBridge.h"

namespace tarvex_script {
namespace {

const char kObjectKey[] = DUK_HIDDEN_SYMBOL("dispatch");
const char kHandlerKey[] = DUK_HIDDEN_SYMBOL("dispatchHandler");
const char kMethodsKey[] = DUK_HIDDEN_SYMBOL("dispatchMethods");

// Script error numbers of the Windows script engines.
constexpr int32_t kErrNoMember = static_cast<int32_t>(0x800A01B6);  // 438
constexpr int32_t kErrArgs = static_cast<int32_t>(0x800A01C2);      // 450
constexpr int32_t kErrType = static_cast<int32_t>(0x800A000D);      // 13

enum class Kind : uint8_t { Unknown, Property, Method, Missing };

struct Member {
    const void* cls;  // the class: the object's table of functions
    std::string name;
    DISPID id = DISPID_UNKNOWN;
    Kind kind = Kind::Unknown;
    void* function = nullptr;  // the method's JavaScript function, once made
};

// Names resolve once per class. The Duktape string of a name in the script
// is interned, so its address finds the entry at once; the stored name is
// compared too, in case the address was reused for another string.
struct ClassCache {
    std::unordered_map<std::string, int> byName;
    std::unordered_map<const char*, int> byAddress;
};

struct Bridge {
    std::vector<Member> members;
    std::unordered_map<const void*, ClassCache> classes;
};

std::unordered_map<duk_context*, Bridge>& bridges() {
    static std::unordered_map<duk_context*, Bridge> all;
    return all;
}

// One heap in use at a time on a thread: the last one is remembered.
thread_local duk_context* lastCtx = nullptr;
thread_local Bridge* last = nullptr;

Bridge& bridgeOf(duk_context* ctx) {
    if (ctx != lastCtx) {
        lastCtx = ctx;
        last = &bridges()[ctx];
    }
    return *last;
}

const void* classOf(IDispatch* object) { return *reinterpret_cast<void* const*>(object); }

// The entry for `name` on the object's class (resolved through
// GetIDsOfNames when new), or -1 when the object has no such member.
int lookup(duk_context* ctx, IDispatch* object, const char* name, size_t length) {
    Bridge& bridge = bridgeOf(ctx);
    const void* cls = classOf(object);
    ClassCache& cache = bridge.classes[cls];
    auto fast = cache.byAddress.find(name);
    if (fast != cache.byAddress.end()) {
        const Member& m = bridge.members[fast->second];
        if (m.name.size() == length && std::memcmp(m.name.data(), name, length) == 0)
            return m.kind == Kind::Missing ? -1 : fast->second;
    }
    std::string key(name, length);
    int index;
    auto slow = cache.byName.find(key);
    if (slow != cache.byName.end()) {
        index = slow->second;
    } else {
        Member m;
        m.cls = cls;
        m.name = key;
        duk_push_lstring(ctx, name, length);
        BSTR wide = bstrFromDuk(ctx, -1);
        duk_pop(ctx);
        LPOLESTR names[1] = {wide};
        if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &m.id))) m.kind = Kind::Missing;
        SysFreeString(wide);
        index = static_cast<int>(bridge.members.size());
        if (index > 0x7FFF) return -1;  // function magic holds 15 bits
        bridge.members.push_back(std::move(m));
        cache.byName.emplace(std::move(key), index);
    }
    cache.byAddress[name] = index;
    return bridge.members[index].kind == Kind::Missing ? -1 : index;
}

// Calls the member with the values at [first, first + count) of the stack
// as arguments; the result (if asked for) is left in *result.
HRESULT invoke(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, duk_idx_t first, duk_idx_t count,
               VARIANT* result, bool* badValue) {
    constexpr int kInline = 8;
    VARIANT inlineArgs[kInline];
    std::vector<VARIANT> heapArgs;
    VARIANT* args = inlineArgs;
    if (count > kInline) {
        heapArgs.resize(static_cast<size_t>(count));
        args = heapArgs.data();
    }
    *badValue = false;
    duk_idx_t converted = 0;
    for (; converted < count; ++converted) {
        VARIANT& v = args[count - 1 - converted];  // reverse order
        VariantInit(&v);
        if (!variantFromDuk(ctx, first + converted, &v)) {
            *badValue = true;
            break;
        }
    }
    HRESULT hr = DISP_E_TYPEMISMATCH;
    if (!*badValue) {
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS params = {args, nullptr, static_cast<UINT>(count), 0};
        if (flags & DISPATCH_PROPERTYPUT) {
            params.rgdispidNamedArgs = &putId;
            params.cNamedArgs = 1;
        }
        UINT argErr = 0;
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &argErr);
    }
    for (duk_idx_t i = 0; i < converted; ++i) VariantClear(&args[count - 1 - i]);
    return hr;
}

// Pushes error 438 for `name`; its strings are gone when it returns.
void pushUnknownMember(duk_context* ctx, const char* name, size_t length) {
    const std::string message =
        "Object doesn't support this property or method: '" + std::string(name, length) + "'";
    pushScriptError(ctx, kErrNoMember, message.c_str());
}

// this.Method(...)
duk_ret_t callMethod(duk_context* ctx) {
    Bridge& bridge = bridgeOf(ctx);
    const int index = duk_get_current_magic(ctx);
    const duk_idx_t argc = duk_get_top(ctx);
    duk_push_this(ctx);
    IDispatch* object = dispatchOf(ctx, -1);
    duk_pop(ctx);
    if (object == nullptr)
        return throwScriptError(ctx, kErrNoMember, "Object doesn't support this property or method");
    const Member* m = &bridge.members[index];
    if (m->cls != classOf(object)) {  // borrowed by an object of another class
        const int other = lookup(ctx, object, m->name.data(), m->name.size());
        if (other < 0) return throwAutomationError(ctx, DISP_E_UNKNOWNNAME, m->name.c_str());
        m = &bridge.members[other];
    }
    VARIANT result;
    VariantInit(&result);
    bool badValue = false;
    const DISPID id = m->id;
    HRESULT hr = invoke(ctx, object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, argc, &result, &badValue);
    if (badValue) return throwScriptError(ctx, kErrType, "Type mismatch: this value cannot be passed to a member");
    if (FAILED(hr)) return throwAutomationError(ctx, hr, bridge.members[index].name.c_str());
    pushVariant(ctx, &result);
    VariantClear(&result);
    return 1;
}

// The function for a method; one per class and name, kept in the stash.
void pushMethod(duk_context* ctx, int index) {
    Member& m = bridgeOf(ctx).members[index];
    if (m.function != nullptr) {
        duk_push_heapptr(ctx, m.function);
        return;
    }
    duk_push_c_function(ctx, callMethod, DUK_VARARGS);
    duk_set_magic(ctx, -1, index);
    duk_push_string(ctx, "name");
    duk_push_string(ctx, m.name.c_str());
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
    m.function = duk_get_heapptr(ctx, -1);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kMethodsKey);
    duk_dup(ctx, -3);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(index));
    duk_pop_2(ctx);
}

// The object a trap's target (argument 0) wraps; null once released.
IDispatch* targetObject(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kObjectKey);
    auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return object;
}

// A trap's key (argument 1) as a member name, with the target's object;
// false for symbols and other non-string keys.
bool trapKey(duk_context* ctx, IDispatch*& object, const char*& name, duk_size_t& length) {
    if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) return false;
    object = targetObject(ctx);
    name = duk_get_lstring(ctx, 1, &length);
    return true;
}

duk_ret_t defaultToString(duk_context* ctx) {
    duk_push_string(ctx, "[object]");
    return 1;
}

// get(target, key, receiver)
duk_ret_t trapGet(duk_context* ctx) {
    IDispatch* object = nullptr;
    const char* name = nullptr;
    duk_size_t length = 0;
    if (!trapKey(ctx, object, name, length)) {
        duk_push_undefined(ctx);
        return 1;
    }
    if (object == nullptr) return throwScriptError(ctx, kErrNoMember, "The object has been released");
    const int index = lookup(ctx, object, name, length);
    if (index < 0) {
        // Conversions probe these; the object has no default member.
        if (std::strcmp(name, "toString") == 0 || std::strcmp(name, "valueOf") == 0 ||
            std::strcmp(name, "toLocaleString") == 0) {
            duk_push_c_function(ctx, defaultToString, 0);
            return 1;
        }
        if (std::strcmp(name, "toJSON") == 0 || std::strcmp(name, "constructor") == 0 ||
            std::strcmp(name, "__proto__") == 0) {
            duk_push_undefined(ctx);
            return 1;
        }
        pushUnknownMember(ctx, name, length);
        return duk_throw(ctx);
    }
    Member& m = bridgeOf(ctx).members[index];
    if (m.kind != Kind::Method) {
        VARIANT result;
        VariantInit(&result);
        bool badValue = false;
        const HRESULT hr = invoke(ctx, object, m.id, DISPATCH_PROPERTYGET, 0, 0, &result, &badValue);
        Member& again = bridgeOf(ctx).members[index];  // the table may have grown
        if (SUCCEEDED(hr)) {
            again.kind = Kind::Property;
            pushVariant(ctx, &result);
            VariantClear(&result);
            return 1;
        }
        if (again.kind == Kind::Property) return throwAutomationError(ctx, hr, again.name.c_str());
        // Not readable without arguments or a call: a method.
        again.kind = Kind::Method;
    }
    pushMethod(ctx, index);
    return 1;
}

// set(target, key, value, receiver)
duk_ret_t trapSet(duk_context* ctx) {
    IDispatch* object = nullptr;
    const char* name = nullptr;
    duk_size_t length = 0;
    if (!trapKey(ctx, object, name, length)) {
        duk_push_false(ctx);
        return 1;
    }
    const int index = object ? lookup(ctx, object, name, length) : -1;
    if (index < 0) {
        pushUnknownMember(ctx, name, length);
        return duk_throw(ctx);
    }
    const DISPID id = bridgeOf(ctx).members[index].id;
    bool badValue = false;
    const HRESULT hr = invoke(ctx, object, id, DISPATCH_PROPERTYPUT, 2, 1, nullptr, &badValue);
    if (badValue) return throwScriptError(ctx, kErrType, "Type mismatch: this value cannot be assigned");
    if (FAILED(hr)) return throwAutomationError(ctx, hr, bridgeOf(ctx).members[index].name.c_str());
    duk_push_true(ctx);
    return 1;
}

// has(target, key)
duk_ret_t trapHas(duk_context* ctx) {
    IDispatch* object = nullptr;
    const char* name = nullptr;
    duk_size_t length = 0;
    const bool found = trapKey(ctx, object, name, length) && object && lookup(ctx, object, name, length) >= 0;
    duk_push_boolean(ctx, found);
    return 1;
}

duk_ret_t trapDelete(duk_context* ctx) {
    duk_push_false(ctx);
    return 1;
}

// Drops the object's reference when the script lets go of it.
duk_ret_t finalizeTarget(duk_context* ctx) {
    IDispatch* object = targetObject(ctx);
    if (object) {
        duk_push_pointer(ctx, nullptr);
        duk_put_prop_string(ctx, 0, kObjectKey);
        object->Release();
    }
    return 0;
}

}  // namespace

void installDispatchBridge(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_push_array(ctx);
    duk_put_prop_string(ctx, -2, kMethodsKey);
    duk_push_object(ctx);
    const struct {
        const char* name;
        duk_c_function fn;
        duk_idx_t nargs;
    } traps[] = {{"get", trapGet, 3}, {"set", trapSet, 4}, {"has", trapHas, 2}, {"deleteProperty", trapDelete, 2}};
    for (const auto& t : traps) {
        duk_push_c_function(ctx, t.fn, t.nargs);
        duk_put_prop_string(ctx, -2, t.name);
    }
    duk_put_prop_string(ctx, -2, kHandlerKey);
    duk_push_c_function(ctx, finalizeTarget, 2);
    duk_put_prop_string(ctx, -2, DUK_HIDDEN_SYMBOL("dispatchFinalizer"));
    duk_pop(ctx);
    bridgeOf(ctx);
}

void releaseDispatchBridge(duk_context* ctx) {
    bridges().erase(ctx);
    // A later heap may get the same address.
    lastCtx = nullptr;
    last = nullptr;
}

void pushDispatch(duk_context* ctx, IDispatch* object) {
    duk_push_bare_object(ctx);  // the target
    object->AddRef();
    duk_push_pointer(ctx, object);
    duk_put_prop_string(ctx, -2, kObjectKey);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, DUK_HIDDEN_SYMBOL("dispatchFinalizer"));
    duk_set_finalizer(ctx, -3);
    duk_get_prop_string(ctx, -1, kHandlerKey);
    duk_remove(ctx, -2);  // the stash
    duk_push_proxy(ctx, 0);
}

IDispatch* dispatchOf(duk_context* ctx, duk_idx_t index) {
    if (!duk_is_object(ctx, index)) return nullptr;
    if (!duk_get_prop_string(ctx, index, kObjectKey)) {
        duk_pop(ctx);
        return nullptr;
    }
    auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return object;
}

void pushScriptError(duk_context* ctx, int32_t number, const char* message) {
    // No C file and line: the error is blamed on the script's line.
    duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", message);
    duk_push_int(ctx, number);
    duk_put_prop_string(ctx, -2, "number");
    duk_push_string(ctx, message);
    duk_put_prop_string(ctx, -2, "description");
}

duk_ret_t throwScriptError(duk_context* ctx, int32_t number, const char* message) {
    pushScriptError(ctx, number, message);
    return duk_throw(ctx);
}

duk_ret_t throwAutomationError(duk_context* ctx, HRESULT hr, const char* member) {
    pushAutomationError(ctx, hr, member);
    return duk_throw(ctx);
}

void pushAutomationError(duk_context* ctx, HRESULT hr, const char* member) {
    const char* what;
    switch (hr) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_UNKNOWNNAME: what = "Object doesn't support this property or method"; break;
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_PARAMNOTOPTIONAL:
        case DISP_E_PARAMNOTFOUND: what = "Wrong number of arguments or invalid property assignment"; break;
        case DISP_E_TYPEMISMATCH: what = "Type mismatch"; break;
        case DISP_E_OVERFLOW: what = "Overflow"; break;
        default: what = "Automation error"; break;
    }
    char message[512];
    std::snprintf(message, sizeof message, "%s: '%s' (0x%08X)", what, member, static_cast<unsigned>(hr));
    pushScriptError(ctx, hr, message);
}

}  // namespace tarvex_script
