// WildcardMatch: anchored pattern matching where "*" is the only special
// character. "*" matches any run of bytes, including none; every other byte
// (including "?") matches only itself, and there is no escape.
//
// Case-insensitive matching folds only the ASCII letters A-Z; bytes of 0x80
// and above always compare as they are. Texts and patterns are C strings:
// matching stops at the first NUL byte.
//
// Each middle segment is taken at its leftmost occurrence and the last segment
// is anchored at the end of the text, so no backtracking ever happens.
#pragma once

#include <cstddef>

namespace tarvex {

// Null text or null pattern: no match.
bool WildcardMatch(const char* text, const char* pattern, bool caseSensitive);

// The same over a text of known length (the text needs no terminator). NUL
// bytes in the text are ordinary bytes: only a "*" can match them.
bool WildcardMatchN(const char* text, size_t textLen, const char* pattern, bool caseSensitive);

}  // namespace tarvex
