#include "http/HttpResponseHeader.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace tarvex {
namespace {

bool readNumber(const char* s, int32_t& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s) return false;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    out = static_cast<int32_t>(v);
    return true;
}

size_t findNoCase(const std::string& hay, const char* needle) {
    size_t n = std::strlen(needle);
    for (size_t i = 0; i + n <= hay.size(); ++i) {
        size_t k = 0;
        for (; k < n; ++k) {
            char a = hay[i + k], b = needle[k];
            if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
            if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
            if (a != b) break;
        }
        if (k == n) return i;
    }
    return std::string::npos;
}

}  // namespace

void HttpResponseHeader::clear() {
    statusCode_ = 0;
    reasonPhrase_.clear();
    statusLine_.clear();
    fields_.clear();
    contentLength_ = 0;
    hasContentLength_ = false;
}

void HttpResponseHeader::copyFrom(const HttpResponseHeader& other) {
    statusCode_ = other.statusCode_;
    reasonPhrase_.setBuffer(other.reasonPhrase_);
    fields_ = other.fields_;
    contentLength_ = other.contentLength_;
}

void HttpResponseHeader::parseHeader(const uint8_t* bytes, uint32_t n) {
    clear();
    if (bytes == nullptr || n == 0) return;
    const char* chars = reinterpret_cast<const char*>(bytes);
    std::string text(chars, strnlen(chars, n));
    size_t cr = text.find('\r');
    if (cr != std::string::npos) statusLine_.appendN(text.data(), static_cast<int32_t>(cr));
    if (text.compare(0, 4, "HTTP") != 0) return;

    size_t space = text.find(' ');
    if (space == std::string::npos) return;
    int32_t code;
    if (!readNumber(text.c_str() + space + 1, code)) return;
    statusCode_ = code;
    size_t second = text.find(' ', space + 1);
    if (second == std::string::npos) return;
    size_t end = text.find('\r', second);
    if (end == std::string::npos) return;
    reasonPhrase_.appendN(text.data() + second, static_cast<int32_t>(end - second));
    reasonPhrase_.trim();

    size_t at = findNoCase(text, "\r\nContent-Length:");
    if (at != std::string::npos) {
        hasContentLength_ = true;
        int32_t length = 0;
        contentLength_ = readNumber(text.c_str() + at + 17, length) ? length : 0;
    }
    size_t rest = end;
    while (rest < text.size() && (text[rest] == '\r' || text[rest] == '\n' || text[rest] == ' ' || text[rest] == '\t')) ++rest;
    fields_.parse(text.data() + rest, text.size() - rest);
}

void HttpResponseHeader::collectSetCookies(std::vector<std::string>& out) const {
    for (size_t i = 0; i < fields_.count(); ++i) {
        const auto& f = fields_.at(i);
        StringBuffer name(f.first.c_str());
        if (name.equalsNoCase("Set-Cookie")) out.push_back(f.second);
    }
}

}  // namespace tarvex
