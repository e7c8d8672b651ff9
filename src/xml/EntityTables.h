// Entity decoding for DecodeEntities: named HTML/XML entities, their decimal
// forms and decimal character references become single bytes of the
// Windows-1252 / ISO-8859-1 repertoire. Works on 8-bit ANSI text, not UTF-8.
#pragma once

#include <cstdint>

#include "tarvex/automation.h"

namespace tarvex {

class StringBuffer;

// Decodes in place in one left-to-right pass. Each "&...;" is looked up once
// and what a reference produces is never decoded again, so "&amp;lt;" gives
// "&lt;". Recognised:
//  - the named entities of the table (case-sensitive, ";" required);
//  - decimal references "&#N" with N from 1 to 255 (the ";" is optional; like
//    a "%d" conversion, leading whitespace and a sign are accepted and all
//    digits are read);
//  - decimal references of the Windows-1252 characters above 255, such as
//    "&#8364;" (digits only, ";" required).
// Anything else, including hexadecimal references, is left as written.
void decodeEntities(StringBuffer& text);

// Decodes the decimal references from 1 to 255 in bytes[0..length) (stopping
// early at a NUL byte) and appends the result to `out`. Returns the number of
// references whose number could be read, whether or not it was in range.
int32_t decodeNumericReferences(const char* bytes, int32_t length, StringBuffer& out);

// DecodeEntities on an automation string: each run of characters the ANSI
// code page holds is converted to ANSI, decoded and converted back; every
// other character passes through unchanged rather than being lost in the
// conversion. (An entity is ASCII, so no entity spans two runs.)
BSTR decodeEntitiesWide(BSTR text);

}  // namespace tarvex
