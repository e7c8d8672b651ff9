#include "http/OstrandUrl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/LogBase.h"
#include "text/StringBuffer.h"

namespace tarvex {
namespace {

bool startsNoCase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix) {
        char a = *s, b = *prefix;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// Reads a decimal number as strtol does (blanks, sign); false when none.
bool readNumber(const char* s, int32_t& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s) return false;
    out = static_cast<int32_t>(v);
    return true;
}

void assign(StringBuffer& b, const char* p, size_t n) {
    b.clear();
    b.appendN(p, static_cast<int32_t>(n));
}

// The parts of a URL that reference resolution works with.
struct UrlParts {
    std::string scheme;     // with its ':' ("http:"), or empty
    bool hasAuthority = false;
    std::string authority;  // without the leading "//"
    std::string path;
    bool hasQuery = false;
    std::string query;
};

// The scheme of an absolute URL: a letter, then letters, digits, '+', '-' or
// '.', then ':'. Its length with the ':', or 0.
size_t schemeLength(const std::string& s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return 0;
    for (size_t i = 1; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ':') return i + 1;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
    }
    return 0;
}

UrlParts splitReference(std::string s) {
    UrlParts parts;
    size_t hash = s.find('#');
    if (hash != std::string::npos) s.erase(hash);
    size_t n = schemeLength(s);
    parts.scheme = s.substr(0, n);
    s.erase(0, n);
    if (s.compare(0, 2, "//") == 0) {
        parts.hasAuthority = true;
        size_t end = s.find_first_of("/?", 2);
        parts.authority = s.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        s.erase(0, end == std::string::npos ? s.size() : end);
    }
    size_t q = s.find('?');
    if (q != std::string::npos) {
        parts.hasQuery = true;
        parts.query = s.substr(q + 1);
        s.erase(q);
    }
    parts.path = s;
    return parts;
}

// RFC 3986 section 5.2.4. The input is read through a view that only moves
// forward: erasing each segment from the front of a string would make a long
// path cost quadratic time.
std::string removeDotSegments(const std::string& path) {
    std::string_view in(path);
    std::string out;
    out.reserve(path.size());
    auto startsWith = [&in](std::string_view prefix) { return in.substr(0, prefix.size()) == prefix; };
    while (!in.empty()) {
        if (startsWith("../")) {
            in.remove_prefix(3);
        } else if (startsWith("./") || startsWith("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (startsWith("/../") || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            size_t next = in.find('/', in[0] == '/' ? 1 : 0);
            if (next == std::string_view::npos) next = in.size();
            out.append(in.substr(0, next));
            in.remove_prefix(next);
        }
    }
    return out;
}

}  // namespace

bool OstrandUrl::crackUrl(const char* url, StringBuffer& host, int32_t& port, StringBuffer& user,
                          StringBuffer& password, StringBuffer& path, StringBuffer& query,
                          StringBuffer& fragment) {
    host.clear();
    user.clear();
    password.clear();
    path.clear();
    query.clear();
    fragment.clear();
    port = 80;
    if (url == nullptr) return false;

    std::string s(url);
    for (char& c : s)
        if (c == '\\') c = '/';

    size_t p = 0;
    if (startsNoCase(s.c_str(), "http://")) {
        p = 7;
    } else if (startsNoCase(s.c_str(), "https://")) {
        p = 8;
        port = 443;
    } else if (startsNoCase(s.c_str(), "file:///")) {
        p = 8;
    } else if (startsNoCase(s.c_str(), "ftp://")) {
        p = 6;
    }

    // User information counts only when a '/' follows its '@'.
    std::string userInfo;
    size_t at = s.find('@', p);
    if (at != std::string::npos && s.find('/', at + 1) != std::string::npos) {
        userInfo = s.substr(p, at - p);
        p = at + 1;
    }

    size_t slash = s.find('/', p);
    size_t question = s.find('?', p);
    // The host part ends at the first '/' or '?'; a ':' inside it (after any
    // bracketed IPv6 address) introduces the port, with or without a slash.
    size_t hostEnd = std::min(slash, question);
    if (hostEnd == std::string::npos) hostEnd = s.size();
    size_t colonFrom = p;
    if (p < s.size() && s[p] == '[') {
        size_t close = s.find(']', p);
        if (close != std::string::npos && close < hostEnd) colonFrom = close;
    }
    size_t colon = s.find(':', colonFrom);
    if (colon != std::string::npos && colon >= hostEnd) colon = std::string::npos;
    // Without a '/' an '@' is not user information, and the ':' before it
    // is no port separator either: the whole text stays the host.
    if (colon != std::string::npos && slash == std::string::npos && s.find('@', p) < hostEnd)
        colon = std::string::npos;

    std::string pathPart;
    if (colon != std::string::npos) {
        if (colon != p + 1) {  // "c:" is a drive letter, not a host
            assign(host, s.data() + p, colon - p);
            int32_t number;
            std::string portText = s.substr(colon + 1, hostEnd - colon - 1);
            if (readNumber(portText.c_str(), number)) port = number;
        }
        pathPart = s.substr(hostEnd);
        if (slash == std::string::npos && question == std::string::npos) pathPart = "/";
    } else if (slash != std::string::npos && slash <= hostEnd) {
        assign(host, s.data() + p, slash - p);
        pathPart = s.substr(slash);
    } else if (question != std::string::npos) {
        assign(host, s.data() + p, question - p);
        pathPart = s.substr(question);
    } else {
        assign(host, s.data() + p, s.size() - p);
        pathPart = "/";
    }

    size_t userColon = userInfo.find(':');
    if (userColon != std::string::npos) {
        assign(user, userInfo.data(), userColon);
        assign(password, userInfo.data() + userColon + 1, userInfo.size() - userColon - 1);
    }

    size_t q = pathPart.find('?');
    if (q != std::string::npos) {
        assign(path, pathPart.data(), q);
        std::string rest = pathPart.substr(q + 1);
        size_t hash = rest.rfind('#');
        if (hash != std::string::npos) {
            assign(query, rest.data(), hash);
            assign(fragment, rest.data() + hash + 1, rest.size() - hash - 1);
        } else {
            assign(query, rest.data(), rest.size());
        }
    } else {
        size_t hash = pathPart.rfind('#');
        if (hash != std::string::npos) {
            assign(path, pathPart.data(), hash);
            assign(fragment, pathPart.data() + hash + 1, pathPart.size() - hash - 1);
        } else {
            assign(path, pathPart.data(), pathPart.size());
        }
    }
    host.toLowerCase();
    return true;
}

bool OstrandUrl::admitUrl(const char* url, int32_t maxUrlLen, LogBase& log) {
    static const char* const kRefused[] = {".asf", ".mp3", ".rm",  ".mpeg", ".mpg", ".avi",
                                           ".mov", ".mp4", ".wmv", ".pps",  ".wma", ".wvx",
                                           ".wax", ".asx", ".wms", ".wmz",  ".wmd"};
    StringBuffer lower(url);
    lower.toLowerCase();
    for (const char* ext : kRefused) {
        if (lower.endsWith(ext)) {
            log.LogError("Does not support URLs with this file extension");
            log.LogData("url", url);
            return false;
        }
    }
    if (std::strlen(url) > static_cast<size_t>(maxUrlLen)) {
        log.LogError("URL is longer than the maximum allowed length.");
        log.LogDataLong("maxUrlLen", maxUrlLen);
        log.LogData("url", url);
        return false;
    }
    return true;
}

void OstrandUrl::buildRedirectUrl(const char* currentUrl, const StringBuffer& location, StringBuffer& newUrl) {
    newUrl.clear();
    std::string ref(location.getString());
    if (ref.empty() || currentUrl == nullptr) return;
    if (schemeLength(ref) > 0) {
        newUrl.setString(location.getString());
        return;
    }
    std::string baseText(currentUrl);
    // A current URL without a scheme ("host/dir/a.xml") is read as if it
    // had one; the result keeps that form.
    bool schemeless = schemeLength(baseText) == 0 && baseText.compare(0, 2, "//") != 0;
    UrlParts base = splitReference(schemeless ? "//" + baseText : baseText);
    if (!base.hasAuthority) return;
    UrlParts r = splitReference(ref);
    UrlParts t;
    t.scheme = base.scheme;
    if (r.hasAuthority) {
        t.hasAuthority = true;
        t.authority = r.authority;
        t.path = removeDotSegments(r.path);
        t.hasQuery = r.hasQuery;
        t.query = r.query;
    } else {
        t.hasAuthority = true;
        t.authority = base.authority;
        if (r.path.empty()) {
            t.path = base.path;
            t.hasQuery = r.hasQuery ? true : base.hasQuery;
            t.query = r.hasQuery ? r.query : base.query;
        } else {
            if (r.path[0] == '/') {
                t.path = removeDotSegments(r.path);
            } else {
                // Merge with the directory of the current path.
                std::string merged;
                if (base.path.empty()) {
                    merged = "/" + r.path;
                } else {
                    size_t cut = base.path.rfind('/');
                    merged = (cut == std::string::npos ? std::string() : base.path.substr(0, cut + 1)) + r.path;
                }
                t.path = removeDotSegments(merged);
            }
            t.hasQuery = r.hasQuery;
            t.query = r.query;
        }
    }
    std::string out = t.scheme;
    if (!schemeless || r.hasAuthority) out += "//";
    out += t.authority;
    if (t.path.empty() || t.path[0] != '/') out += "/";
    out += t.path;
    if (t.hasQuery) out += "?" + t.query;
    newUrl.setString(out.c_str());
}

}  // namespace tarvex
