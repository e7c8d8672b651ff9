#include "http/HttpRequest.h"

#include "text/DataBuffer.h"

namespace tarvex {

HttpRequest::HttpRequest() : httpVersion_("1.1") {
    headers_.setField("User-Agent", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    headers_.setField("Connection", "Keep-Alive");
}

void HttpRequest::render(DataBuffer& out) {
    renderHead(out, bodyText_.getSize());
    if (method_ == kPost) {
        out.append(bodyText_.getString(), static_cast<uint32_t>(bodyText_.getSize()));
        out.append("\r\n", 2);
    }
}

void HttpRequest::renderHead(DataBuffer& out, int32_t bodyTextSize) {
    StringBuffer text;
    const char* verb = method_ == kGet ? "GET " : method_ == kPost ? "POST " : "HEAD ";
    text.append(verb);
    // A request target is never empty: a URL without a path asks for "/".
    text.append(path_.isEmpty() ? "/" : path_.getString());
    text.append(" HTTP/");
    text.appendBuffer(httpVersion_);
    text.append("\r\n");
    if (method_ == kPost) {
        headers_.setField("content-type", "text/xml");
        // The body is the text followed by CR LF, and its length counts both.
        headers_.setField("content-length", intToText(bodyTextSize + 2));
    } else {
        headers_.setField("content-type", "");
        headers_.setField("content-length", "");
        if (method_ == kGet && !headers_.hasField("Accept")) headers_.setField("Accept", "*/*");
    }
    headers_.render(text);
    text.append("\r\n\r\n");
    out.appendText(text);
}

}  // namespace tarvex
