// XmlEscape: the one escaper for XML output, with a table per context.
//
// Content passes character references ("&#...") and a fixed list of named
// references through; attribute values pass only "&#" and end at a zero
// byte; log text escapes four characters and nothing else. Callers that
// write somewhere other than a StringBuffer drive the same tables through
// cleanEnd and replacement.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

class StringBuffer;

enum class EscapeContext : uint8_t {
    Content,     // '<' '>' '"' '\'' as entities; '&' passes before '#' or a listed name
    Attribute,   // the same, but '&' passes only before '#'; a zero byte ends the value
    LogText,     // '&' '<' '>' '"' as entities, always
    Literal,     // '<' '>' '"' '\'' and every '&' as entities: text meant as written
};

class XmlEscape {
public:
    // The index of the first byte in p[i..n) that `replacement` must look at,
    // or n. With `high`, bytes from 0x80 up stop the scan too (a caller that
    // checks characters against a target charset).
    static size_t cleanEnd(EscapeContext context, const char* p, size_t i, size_t n, bool high = false);

    // What the byte at p[0] (n >= 1 bytes left) is written as. Sets *text and
    // *length to the replacement (the byte itself when it is written as is)
    // and returns true; false when the value ends here.
    static bool replacement(EscapeContext context, const char* p, size_t n, const char** text, size_t* length);

    // Appends (p, n) escaped for the context.
    static void append(EscapeContext context, const char* p, size_t n, StringBuffer& out);

    // Whether the '&' at p[0] begins a reference that content passes through:
    // "&#..." or "&name;" with a listed name (at most 7 bytes after the '&'
    // are examined).
    static bool isPassThroughReference(const char* p, size_t n);
};

}  // namespace tarvex
