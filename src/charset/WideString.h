// The wide-string bridge: automation strings (UTF-16LE BSTR) to UTF-8 text and
// back. Every string argument and result of the component goes through here.
#pragma once

#include <cstdint>

#include "tarvex/automation.h"

namespace tarvex {

class StringBuffer;
class DataBuffer;

// Appends the UTF-8 form of b (nothing for null or empty).
void appendBstrUtf8(BSTR b, StringBuffer& out);
// Clears out, then fills it with the UTF-8 form of b.
void bstrToUtf8(BSTR b, DataBuffer& out);
// A new BSTR from UTF-8 text; an empty text gives an empty (non-null) BSTR.
BSTR utf8ToBstr(const StringBuffer& text);
BSTR utf8ToBstr(const char* text, int32_t length);

}  // namespace tarvex
