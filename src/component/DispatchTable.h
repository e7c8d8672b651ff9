// DispatchTable: the members of ITarvex as IDispatch sees them.
//
// One row per interface member, in slot order: the member name, its dispatch
// identifier, whether it is a method, a property read or a property write,
// its argument names and types, and a thunk that converts the caller's
// VARIANT arguments, calls the member through the interface's table of
// functions and stores the result. DispatchEngine serves GetIDsOfNames and
// Invoke from this table.
#pragma once

#include <cstdint>

#include "tarvex/tarvex.h"

namespace tarvex {

enum class MemberKind : uint8_t { Method, PropertyGet, PropertyPut };

// The automation types of the interface's arguments and results.
enum class ArgType : uint8_t {
    None,     // no result
    String,   // BSTR
    Long,     // 32-bit integer
    Variant,  // VARIANT
    Object,   // ITarvex*
    Unknown,  // IUnknown*
};

// Calls one member. `args` holds the caller's arguments in declaration order
// (they may be by-reference forms); `result` may be null. On a conversion
// failure *badArg receives the 0-based declaration position of the argument.
using DispatchThunk = HRESULT (*)(ITarvex* self, VARIANT* const* args, VARIANT* result,
                                  UINT* badArg);

struct DispatchMember {
    static constexpr int kMaxArgs = 4;

    const char* name;
    DISPID dispid;
    MemberKind kind;
    const char* argNames;  // comma-separated, declaration order ("" for none)
    uint8_t argCount;      // in-arguments; the result is not counted
    ArgType argTypes[kMaxArgs];
    ArgType resultType;
    DispatchThunk invoke;
    // Position of the member in ITarvex's table of functions, or -1 where the
    // compiler's member-pointer layout is not known.
    int (*vtableSlot)();
};

class DispatchTable {
public:
    // All 92 members, in slot order.
    static const DispatchMember* members();
    static int count();

    // The member serving `dispid` for a read or method call (PropertyGet or
    // Method) or for a write (PropertyPut); null when there is none.
    static const DispatchMember* findGet(DISPID dispid);
    static const DispatchMember* findPut(DISPID dispid);
    // The first member whose name matches, ASCII case-insensitively.
    static const DispatchMember* findByName(const OLECHAR* name);
    // The 0-based position of an argument name of any member with `dispid`
    // (case-insensitive), or -1.
    static int findArgName(DISPID dispid, const OLECHAR* argName);
};

}  // namespace tarvex
