// ContentCoding: the text codings of binary data. Base64 with and without
// line breaks, strict and lenient base64 decoding, and the Q and B
// encoded-words of MIME headers.
//
// Stored node content is base64 in lines of 72 characters, each ended by
// CR LF, the last one too. The block forms (the *Block and *Into functions)
// work on caller memory and are what the text-buffer forms run on.
#pragma once

#include <cstdint>

namespace tarvex {

class DataBuffer;
class StringBuffer;

class ContentCoding {
public:
    static constexpr int32_t kDefaultLineLength = 72;

    ContentCoding() = default;
    virtual ~ContentCoding() = default;
    int32_t lineLength() const { return lineLength_; }

    // ---- base64 out
    // Appends line-broken base64; nothing at all for no bytes.
    void encodeBase64Lines(const void* data, uint32_t n, StringBuffer& out) const;
    // Characters encodeBase64Lines writes for n bytes, and the writing itself
    // into a block of that many characters (no NUL).
    uint64_t base64LinesSize(uint32_t n) const;
    void encodeBase64LinesInto(const uint8_t* data, uint32_t n, char* out) const;
    // One piece of a line-broken encoding written piece by piece: every piece
    // but the last must be a whole number of lines (bytesPerLine()). Returns
    // the end of what was written.
    char* encodeBase64LinesChunk(const uint8_t* data, uint32_t n, char* out, bool last) const;
    uint32_t bytesPerLine() const { return static_cast<uint32_t>(lineLength_ <= 4 ? 1 : (lineLength_ + 3) / 4) * 3; }
    // Base64 without line breaks (pad characters kept).
    static void encodeBase64(const void* data, uint32_t n, StringBuffer& out);
    static StringBuffer encodeBase64Word(const void* data, uint32_t n);
    static uint64_t base64Size(uint32_t n) { return (static_cast<uint64_t>(n) + 2) / 3 * 4; }
    static void encodeBase64Block(const uint8_t* data, uint32_t n, char* out);

    // ---- base64 in
    // Appends the decoded bytes to `out` (emptied first). Decoding stops at a
    // NUL or "="; TAB, LF, CR and space are skipped. The strict form fails,
    // leaving `out` empty, on any other byte outside "+".."z"; the lenient
    // form reads such a byte as "+" and fails only for no input.
    static bool decodeBase64Strict(const char* text, uint32_t n, DataBuffer& out);
    static bool decodeBase64Lenient(const char* text, uint32_t n, DataBuffer& out);
    // The decoding on caller memory: `out` holds at least n / 4 * 3 + 2 bytes.
    // False (strict only) on a refused byte; *written is the byte count.
    static bool decodeBase64Block(const char* text, uint32_t n, bool strict, uint8_t* out, uint32_t* written);

    // ---- Q coding and encoded-words
    static void encodeQ(const uint8_t* data, uint32_t n, StringBuffer& out);
    // n of 0 or less: up to the first NUL.
    static void decodeQ(const char* text, int32_t n, DataBuffer& out);
    // Append "=?" charset "?Q?" text "?=" (or "?B?" with base64).
    static void makeQWord(const uint8_t* data, uint32_t n, const char* charset, StringBuffer& out);
    static void makeBWord(const uint8_t* data, uint32_t n, const char* charset, StringBuffer& out);
    // Decodes every encoded-word of the text (up to its first NUL) and
    // appends the bytes, with the text between words unchanged. A malformed
    // word ends decoding.
    static void decodeWords(const StringBuffer& text, DataBuffer& out);
    // Like decodeWords, with each word converted from its charset to UTF-8;
    // the result replaces the text.
    static void decodeHeaderWords(StringBuffer& text);

private:
    static void decodeWordsImpl(const StringBuffer& text, DataBuffer& out, bool toUtf8);

    int32_t lineLength_ = kDefaultLineLength;
};

}  // namespace tarvex
