// EncodingConvert: converts bytes between code pages through UTF-16LE.
//
// Code pages other than the Unicode forms use the library's own mapping
// tables (charset/CodePageTables), built once per process on first use. The
// engine is EncodingConvert.cpp; the codec families are charset/Convert*.cpp.
#pragma once

#include <cstdint>

namespace tarvex {

class DataBuffer;
class LogBase;

namespace codepage {
constexpr uint32_t kUtf16Le = 1200;
constexpr uint32_t kUtf16Be = 1201;
constexpr uint32_t kUtf7 = 65000;
constexpr uint32_t kUtf8 = 65001;
constexpr uint32_t kUtf32Le = 65005;
constexpr uint32_t kUtf32Be = 65006;
constexpr uint32_t kShiftJis = 932;
constexpr uint32_t kKorean = 949;
constexpr uint32_t kWindows1252 = 1252;
constexpr uint32_t kMacArabic = 10004;
}  // namespace codepage

class EncodingConvert {
public:
    EncodingConvert();

    // What to do with input that has no mapping: 0 drop, 1 substitute bytes,
    // 2 hexadecimal character reference (&#xHHHH;), 6 fallback code page,
    // 7 pass raw bytes through. Every action makes the result false except 2,
    // which writes a faithful reference.
    void setUnmappableAction(int32_t action);
    void setFallbackCodePage(uint32_t codePage);
    void setSubstitute(const uint8_t* bytes, uint32_t n);

    // Appends the conversion of `bytes` to `out`. False when some input had no
    // mapping, when a code page is unsupported, or for odd-length UTF-16.
    bool convert(uint32_t from, uint32_t to, const uint8_t* bytes, uint32_t n, DataBuffer& out);
    bool convertByName(const char* from, const char* to, const uint8_t* bytes, uint32_t n, DataBuffer& out);
    bool convertFromName(const char* from, uint32_t to, const uint8_t* bytes, uint32_t n, DataBuffer& out);
    bool convertToName(uint32_t from, const char* to, const uint8_t* bytes, uint32_t n, DataBuffer& out);
    bool ansiToCodePage(uint32_t to, const uint8_t* bytes, uint32_t n, DataBuffer& out);
    bool codePageToAnsi(uint32_t from, const uint8_t* bytes, uint32_t n, DataBuffer& out);

    // True when the code page can be converted at all.
    static bool isSupported(uint32_t codePage);

private:
    int32_t action_;
    uint32_t fallback_;
    uint8_t substitute_[16];
    uint32_t substituteLength_;
};

}  // namespace tarvex
