#include "text/XmlEscape.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARVEX_ESCAPE_SSE2 1
#endif

#include "text/StringBuffer.h"

namespace tarvex {

namespace {

// Named references written through unchanged in content (with '&' and ';').
// The five predefined names are absent on purpose: the parser replaces them
// all, so one that stands in content is text and its '&' must be escaped.
// Sorted for binary search.
const std::string_view kContentEntities[] = {
    "AElig", "Aacute", "Acirc", "Aelig", "Agrave", "Aring", "Atilde", "Auml", "Ccedil", "Cedil",
    "Cent", "Copy", "Curren", "ETH", "Eacute", "Ecirc", "Egrave", "Eth", "Euml", "Iacute",
    "Icirc", "Iexcl", "Igrave", "Iquest", "Iuml", "OElig", "Oacute", "Ocirc", "Oelig", "Ograve",
    "Ordf", "Ordm", "Oslash", "Otilde", "Ouml", "THORN", "Thorn", "Uacute", "Ucirc", "Ugrave",
    "Uml", "Utilde", "Uuml", "Yacute", "Yen", "Yuml", "aElig", "aacute", "acirc", "acute",
    "aelig", "agrave", "aring", "atilde", "auml", "brkbar", "bull", "ccedil", "cedil", "cent",
    "copy", "curren", "deg", "divide", "eTH", "eacute", "ecirc", "egrave", "eth", "euml",
    "frac12", "frac14", "frac34", "hibar", "iacute", "icirc", "iexcl", "igrave", "iquest", "iuml",
    "micro", "middot", "nbsp", "not", "ntilde", "oElig", "oacute", "ocirc", "oelig", "ograve",
    "ordf", "ordm", "oslash", "otilde", "ouml", "para", "plusmn", "pound", "raquo", "reg",
    "sect", "shy", "sup1", "sup2", "sup3", "szlig", "tHORN", "thorn", "uacute", "ucirc",
    "ugrave", "uml", "utilde", "uuml", "yacute", "yen", "yuml",
};

}  // namespace

size_t XmlEscape::contentCleanEndWide(const char* p, size_t i, size_t n) {
#ifdef TARVEX_ESCAPE_SSE2
    const __m128i two = _mm_set1_epi8(2);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i angle = _mm_set1_epi8('>');   // '<' | 2 == '>' | 2 == '>'
    const __m128i apos = _mm_set1_epi8('\'');  // '&' | 1 == '\'' | 1 == '\''
    const __m128i quot = _mm_set1_epi8('"');
    while (i + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, two), angle),
                                                _mm_cmpeq_epi8(_mm_or_si128(v, one), apos)),
                                   _mm_cmpeq_epi8(v, quot));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask) {
#if defined(__GNUC__) || defined(__clang__)
            return i + static_cast<size_t>(__builtin_ctz(mask));
#else
            while (!(mask & 1u)) {
                mask >>= 1;
                ++i;
            }
            return i;
#endif
        }
        i += 16;
    }
#endif
    return i;
}

bool XmlEscape::isPassThroughReference(const char* p, size_t n) {
    if (n >= 2 && p[1] == '#') return true;
    size_t limit = std::min<size_t>(n, 8);
    for (size_t i = 2; i < limit; ++i) {
        if (p[i] == ';') {
            std::string_view name(p + 1, i - 1);
            return std::binary_search(std::begin(kContentEntities), std::end(kContentEntities), name);
        }
    }
    return false;
}

void XmlEscape::append(EscapeContext context, const char* p, size_t n, StringBuffer& out) {
    size_t i = 0;
    while (i < n) {
        size_t start = i;
        i = cleanEnd(context, p, i, n);
        if (i > start) out.appendN(p + start, static_cast<int32_t>(i - start));
        if (i >= n) break;
        const char* text;
        size_t length;
        if (!replacement(context, p + i, n - i, &text, &length)) break;
        out.appendN(text, static_cast<int32_t>(length));
        ++i;
    }
}

}  // namespace tarvex
