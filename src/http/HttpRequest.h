// HttpRequest: a request built from fields and rendered to the bytes sent.
// The component posts XML with it; GET requests are written by HttpClient.
#pragma once

#include <cstdint>

#include "http/MimeHeader.h"
#include "text/StringBuffer.h"

namespace tarvex {

class DataBuffer;

class HttpRequest {
public:
    enum Method { kGet = 0, kPost = 1, kHead = 2 };

    HttpRequest();

    void setMethod(Method m) { method_ = m; }
    void setPath(const char* path) { path_.setString(path); }
    void setBodyText(const char* text) { bodyText_.setString(text); }
    MimeHeader& headers() { return headers_; }

    // The request line, the header block and, for POST, the body as
    // "text/xml" with its content-length.
    void render(DataBuffer& out);
    // Only the request line and header block; a POST declares a body of
    // bodyTextSize bytes plus the closing CR LF. The caller sends the body
    // from its own buffer, so a large document is never copied.
    void renderHead(DataBuffer& out, int32_t bodyTextSize);

private:
    StringBuffer httpVersion_;
    Method method_ = kGet;
    MimeHeader headers_;
    StringBuffer path_;
    StringBuffer bodyText_;
};

}  // namespace tarvex
