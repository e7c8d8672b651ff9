// The charset registry: charset names (as in XML declarations, HTTP and MIME
// headers and arguments) to Windows code page numbers, and code pages back to
// one preferred name. Names are trimmed, lower-cased and '_' becomes '-'.
#pragma once

#include <cstdint>

#include "text/StringBuffer.h"

namespace tarvex {

uint32_t codePageForName(const char* name);     // 0 when unknown or null
bool isKnownCharset(const char* name);
bool nameForCodePage(uint32_t codePage, StringBuffer& outName);

// The accepted names, in normalised form, for listing (index < count).
uint32_t charsetNameCount();
const char* charsetNameAt(uint32_t index, uint32_t* codePage);  // nullptr past the end

class Charset {
public:
    Charset() = default;
    void setByName(const char* name);   // "default", "x-user-defined", "ansi", "oem" are special
    void setByCodePage(uint32_t codePage);
    const char* getName() const { return name_.getString(); }
    uint32_t getCodePage() const { return codePage_; }
    void clear();

private:
    StringBuffer name_;
    uint32_t codePage_ = 0;
};

}  // namespace tarvex
