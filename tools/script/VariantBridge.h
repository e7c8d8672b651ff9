// VariantBridge: JavaScript values <-> automation VARIANTs, and Duktape's
// strings (CESU-8: each UTF-16 unit on its own) <-> BSTRs.
//
//   JavaScript                     VARIANT
//   undefined                      VT_EMPTY
//   null                           VT_DISPATCH, null pointer ("Nothing")
//   boolean                        VT_BOOL
//   number                         VT_I4 when integral and in range, else VT_R8
//   string                         VT_BSTR
//   buffer (Uint8Array, ...)       VT_ARRAY | VT_UI1
//   automation object              VT_DISPATCH
// and back; VT_NULL reads as null, a null BSTR as "".
#pragma once

#include <cstdint>
#include <string>

#include <duktape.h>

#include "tarvex/automation.h"

namespace tarvex_script {

// A new BSTR from the Duktape string at `index` (the caller frees it).
BSTR bstrFromDuk(duk_context* ctx, duk_idx_t index);
// Pushes the BSTR (null: "") as a Duktape string.
void pushBstr(duk_context* ctx, BSTR text);
// Appends the UTF-8 bytes of code point (or lone UTF-16 unit) `c`.
void appendUnit(std::string& out, uint32_t c);
// Duktape string bytes -> UTF-8 (surrogate pairs joined) and back.
std::string cesuToUtf8(const char* data, size_t size);
std::string utf8ToCesu(const std::string& utf8);

// Fills `out` (VariantInit'ed by the caller) from the value at `index`.
// False, with `out` left empty, for values that have no VARIANT form.
bool variantFromDuk(duk_context* ctx, duk_idx_t index, VARIANT* out);
// Pushes the value of `v` (which keeps its own references).
void pushVariant(duk_context* ctx, const VARIANT* v);

}  // namespace tarvex_script
