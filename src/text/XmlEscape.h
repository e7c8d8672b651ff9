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

// Per context, in EscapeContext order: 0 = written as is, 1 = look at it.
struct EscapeTables {
    uint8_t stop[4][256];
    constexpr EscapeTables() : stop{} {
        for (const char* p = "<>\"'&"; *p; ++p) {
            stop[0][static_cast<uint8_t>(*p)] = 1;
            stop[1][static_cast<uint8_t>(*p)] = 1;
            stop[3][static_cast<uint8_t>(*p)] = 1;
        }
        stop[1][0] = 1;
        for (const char* p = "&<>\""; *p; ++p) stop[2][static_cast<uint8_t>(*p)] = 1;
    }
};
inline constexpr EscapeTables kEscapeTables{};

class XmlEscape {
public:
    // The index of the first byte in p[i..n) that `replacement` must look at,
    // or n. With `high`, bytes from 0x80 up stop the scan too (a caller that
    // checks characters against a target charset).
    static size_t cleanEnd(EscapeContext context, const char* p, size_t i, size_t n, bool high = false) {
        if (context == EscapeContext::Content && !high && n - i >= 16) i = contentCleanEndWide(p, i, n);
        const uint8_t* table = kEscapeTables.stop[static_cast<int>(context)];
        if (high) {
            while (i < n && !table[static_cast<uint8_t>(p[i])] && static_cast<uint8_t>(p[i]) < 0x80) ++i;
        } else {
            while (i < n && !table[static_cast<uint8_t>(p[i])]) ++i;
        }
        return i;
    }

    // What the byte at p[0] (n >= 1 bytes left) is written as. Sets *text and
    // *length to the replacement (the byte itself when it is written as is)
    // and returns true; false when the value ends here.
    static bool replacement(EscapeContext context, const char* p, size_t n, const char** text, size_t* length) {
        *text = p;
        *length = 1;
        switch (p[0]) {
            case '<': *text = "&lt;"; *length = 4; break;
            case '>': *text = "&gt;"; *length = 4; break;
            case '"': *text = "&quot;"; *length = 6; break;
            case '\'':
                if (context != EscapeContext::LogText) {
                    *text = "&apos;";
                    *length = 6;
                }
                break;
            case '&': {
                bool passes = context == EscapeContext::Content     ? isPassThroughReference(p, n)
                              : context == EscapeContext::Attribute ? (n >= 2 && p[1] == '#')
                                                                    : false;   // log and literal text
                if (!passes) {
                    *text = "&amp;";
                    *length = 5;
                }
                break;
            }
            case '\0':
                if (context == EscapeContext::Attribute) return false;
                break;
            default: break;
        }
        return true;
    }

    // Appends (p, n) escaped for the context.
    static void append(EscapeContext context, const char* p, size_t n, StringBuffer& out);

    // Whether the '&' at p[0] begins a reference that content passes through:
    // "&#..." or "&name;" with a listed name (at most 7 bytes after the '&'
    // are examined).
    static bool isPassThroughReference(const char* p, size_t n);

private:
    // Content's stop bytes from p[i], sixteen at a time where the CPU allows;
    // returns where the bytewise scan goes on.
    static size_t contentCleanEndWide(const char* p, size_t i, size_t n);
};

}  // namespace tarvex
