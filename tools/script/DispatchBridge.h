// DispatchBridge: automation objects as JavaScript objects.
//
// Each object is a Proxy whose traps reach the object's members through
// IDispatch by name: GetIDsOfNames once per class and name, then Invoke.
// Reading a property calls its getter; reading a method yields a function
// that calls it with the object as `this`; assigning calls the property's
// setter. Unknown names raise "Object doesn't support this property or
// method", as they do under the Windows script engines.
#pragma once

#include <duktape.h>

#include "tarvex/automation.h"

namespace tarvex_script {

// Sets up the traps for the heap; call once before any pushDispatch.
void installDispatchBridge(duk_context* ctx);
// Forgets the heap's caches (after duk_destroy_heap).
void releaseDispatchBridge(duk_context* ctx);

// Pushes a JavaScript object for `object`, holding its own reference.
void pushDispatch(duk_context* ctx, IDispatch* object);
// The automation object behind the value at `index` (borrowed), or null.
IDispatch* dispatchOf(duk_context* ctx, duk_idx_t index);

// Script errors. Duktape throws with longjmp, which skips C++ destructors:
// a caller pushes the error while its strings are alive, lets them go, and
// only then throws (duk_throw). The throw* forms are for callers that hold
// no C++ objects with destructors.
void pushScriptError(duk_context* ctx, int32_t number, const char* message);
void pushAutomationError(duk_context* ctx, HRESULT hr, const char* member);
duk_ret_t throwAutomationError(duk_context* ctx, HRESULT hr, const char* member);
duk_ret_t throwScriptError(duk_context* ctx, int32_t number, const char* message);

}  // namespace tarvex_script
