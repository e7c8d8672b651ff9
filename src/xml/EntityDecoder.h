// EntityDecoder: the parser's one entity decoder. Content and attribute
// values have the five predefined entities replaced; text that joins a CDATA
// content also has its character references replaced, since a section holds
// characters, not references.
#pragma once

#include <cstdint>

namespace tarvex {

class StringBuffer;

class EntityDecoder {
public:
    EntityDecoder() = default;
    ~EntityDecoder();
    EntityDecoder(const EntityDecoder&) = delete;
    EntityDecoder& operator=(const EntityDecoder&) = delete;

    // When (p, n) holds an '&', decodes "&lt;", "&gt;", "&quot;", "&apos;"
    // and "&amp;" and points (p, n) at the result, which lives until the next
    // call. One left-to-right pass gives the same text as replacing them one
    // after the other, "&amp;" last: no replacement forms a new reference.
    void decode(const char*& p, int32_t& n);
    // The same when the caller's scan found the first '&' already, at `amp`.
    void decode(const char*& p, int32_t& n, const char* amp);

    // Appends (p, n) decoded as above.
    void append(StringBuffer& out, const char* p, int32_t n);

    // Appends (p, n) with character references ("&#233;", "&#xE9;") written
    // as the UTF-8 characters they denote, and with the predefined entities
    // too when `predefined` is set. A reference to no character stays as
    // written.
    static void appendCharacters(StringBuffer& out, const char* p, int32_t n, bool predefined);

private:
    char* bytes_ = nullptr;
    int32_t capacity_ = 0;
};

}  // namespace tarvex
