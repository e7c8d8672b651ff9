// XString: one string with its ANSI, UTF-8 and UTF-16LE forms, each computed
// once on demand from a valid one and cached. Used for file names.
#pragma once

#include <cstdint>

#include "tarvex/automation.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex {

class XString {
public:
    XString();
    void clear();
    void setFromAnsi(const char* s);
    void setFromUtf8(const char* s);
    void setFromWide(const OLECHAR* w);
    void setFromBstr(BSTR b);

    const char* getAnsi();
    const char* getUtf8();
    const OLECHAR* getWide();          // UTF-16LE followed by a NUL unit
    const DataBuffer& getWideBytes();  // the wide form's bytes incl. two NULs
    int32_t getLength();
    bool isAnsiExact();

private:
    uint8_t ansiExact_;     // 0 unknown, 1 exact, 2 lossy
    bool wideValid_;
    bool ansiValid_;
    bool utf8Valid_;
    DataBuffer wide_;
    StringBuffer ansi_;
    StringBuffer utf8_;
};

}  // namespace tarvex
