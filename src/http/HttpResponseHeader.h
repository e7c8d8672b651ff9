// HttpResponseHeader: the parsed status line and header fields of a response.
#pragma once

#include <cstdint>

#include "http/MimeHeader.h"
#include "text/StringBuffer.h"

namespace tarvex {

class HttpResponseHeader {
public:
    HttpResponseHeader() = default;
    virtual ~HttpResponseHeader() = default;

    // Parses a received header block; it ends at its first NUL byte.
    void parseHeader(const uint8_t* bytes, uint32_t n);
    void clear();
    void copyFrom(const HttpResponseHeader& other);

    int32_t statusCode() const { return statusCode_; }
    int32_t contentLength() const { return contentLength_; }
    bool hasContentLength() const { return hasContentLength_; }
    const StringBuffer& reasonPhrase() const { return reasonPhrase_; }
    const StringBuffer& statusLine() const { return statusLine_; }
    const MimeHeader& fields() const { return fields_; }
    bool getField(const char* name, StringBuffer& value) const { return fields_.getField(name, value); }
    bool hasField(const char* name) const { return fields_.hasField(name); }
    // The values of every Set-Cookie field, in arrival order.
    void collectSetCookies(std::vector<std::string>& out) const;

private:
    int32_t statusCode_ = 0;
    StringBuffer reasonPhrase_;
    StringBuffer statusLine_;
    MimeHeader fields_;
    int32_t contentLength_ = 0;
    bool hasContentLength_ = false;
};

}  // namespace tarvex
